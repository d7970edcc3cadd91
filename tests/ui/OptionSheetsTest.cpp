#include "WindowFixture.h"

#include "ui/ActionBar.h"
#include "ui/LossyFormatNoticeView.h"
#include "ui/OptionsSheet.h"
#include "ui/SheetPresenter.h"
#include "workflow/SettingsStore.h"

#include <QCheckBox>
#include <QLabel>

namespace twinfold::test {
namespace {

class OptionSheetsTest : public WindowFixture {
protected:
    // Originals stay where they are, so a test can read them after converting.
    void keepOriginals()
    {
        AppSettings settings;
        settings.originalFileHandling = OriginalFileHandling::leaveInPlace;
        settings.checkForUpdatesOnLaunch = false;
        saveAppSettings(settings);
    }
    void clickConvert() { click(view().actionBar()->convertButton()); }
    SheetPresenter& sheets() { return *view().sheets(); }
    static QString subtitle(QDialog* sheet)
    {
        auto* label = sheet->findChild<QLabel*>(QStringLiteral("sheetSubtitle"));
        return label ? label->text() : QString();
    }
    // Keys go where the user's would: to the widget that has the focus.
    static void press(QDialog* sheet, Qt::Key key)
    {
        QWidget* focus = sheet->focusWidget();
        QTest::keyClick(focus ? focus : sheet, key);
    }
    void waitUntilClosed(const std::function<QDialog*()>& sheet)
    {
        ASSERT_TRUE(processEventsUntil([&] { return sheet() == nullptr; })) << "the sheet stayed open";
    }
};

TEST_F(OptionSheetsTest, EscapeOnTheLossyNoticeChangesNothing)
{
    writeDualMonoMp3(library.path(), "Podcast.mp3");
    openWindow();
    chooseLibrary();
    const auto before = libraryFiles();
    clickConvert();
    LossyFormatNoticeView* notice = sheets().lossyNotice();
    ASSERT_NE(notice, nullptr);
    EXPECT_EQ(notice->size(), QSize(420, 320));
    EXPECT_TRUE(notice->isModal());
    EXPECT_EQ(subtitle(notice), "MP3/M4A will be converted to WAV");

    QTest::mouseClick(notice->dontShowAgainBox(), Qt::LeftButton);  // ticked, then abandoned
    press(notice, Qt::Key_Escape);
    waitUntilClosed([this] { return sheets().lossyNotice(); });
    EXPECT_FALSE(hideLossyFormatNotice());
    EXPECT_FALSE(vm().showLossyFormatNotice());
    EXPECT_FALSE(vm().lossyNoticeAcknowledged());
    EXPECT_EQ(vm().conversionState(), ConversionState::idle());
    EXPECT_EQ(libraryFiles(), before);
}

TEST_F(OptionSheetsTest, ContinueWithTheBoxTickedRemembersAndConverts)
{
    writeDualMonoMp3(library.path(), "Podcast.mp3");
    keepOriginals();
    openWindow();
    chooseLibrary();
    clickConvert();
    LossyFormatNoticeView* notice = sheets().lossyNotice();
    ASSERT_NE(notice, nullptr);
    QTest::mouseClick(notice->dontShowAgainBox(), Qt::LeftButton);
    click(notice->continueButton());
    waitForConversionToSettle();
    EXPECT_TRUE(hideLossyFormatNotice());
    EXPECT_FALSE(vm().errorMessage().has_value());
    EXPECT_TRUE(libraryFiles().count("Podcast_mono.wav"));
}

TEST_F(OptionSheetsTest, ContinueWithTheBoxClearAsksAgainNextTime)
{
    writeDualMonoMp3(library.path(), "Podcast.mp3");
    keepOriginals();
    openWindow();
    chooseLibrary();
    clickConvert();
    ASSERT_NE(sheets().lossyNotice(), nullptr);
    press(sheets().lossyNotice(), Qt::Key_Return);
    waitForConversionToSettle();
    EXPECT_FALSE(hideLossyFormatNotice());
    EXPECT_TRUE(libraryFiles().count("Podcast_mono.wav"));

    vm().setSelectedResultIDs({resultNamed("Podcast.mp3").id});
    clickConvert();
    EXPECT_NE(sheets().lossyNotice(), nullptr);
}

TEST_F(OptionSheetsTest, CancellingThePhaseSheetEmptiesThePendingList)
{
    stereoWav("Inverted.wav", StereoKind::phaseInverted);
    openWindow();
    chooseLibrary();
    const auto selection = vm().selectedResultIDs();
    clickConvert();
    OptionsSheet* sheet = sheets().phaseFixOptions();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->size(), QSize(450, 480));
    EXPECT_EQ(subtitle(sheet), "1 file(s) have inverted phase (L = -R)");
    EXPECT_EQ(vm().pendingPhaseInvertedResults().size(), 1u);

    click(sheet->cancelButton());
    waitUntilClosed([this] { return sheets().phaseFixOptions(); });
    EXPECT_TRUE(vm().pendingPhaseInvertedResults().empty());
    EXPECT_FALSE(vm().showPhaseFixOptions());
    EXPECT_EQ(vm().selectedResultIDs(), selection);
    EXPECT_EQ(vm().conversionState(), ConversionState::idle());
    EXPECT_EQ(libraryFiles(), std::set<std::string>{"Inverted.wav"});

    clickConvert();
    EXPECT_NE(sheets().phaseFixOptions(), nullptr) << "asked again";
}

TEST_F(OptionSheetsTest, ReturnConvertsWithTheChosenOption)
{
    const fs::path source = stereoWav("Inverted.wav", StereoKind::phaseInverted);
    const auto right = readStoredInts(source).at(1);
    keepOriginals();
    openWindow();
    chooseLibrary();
    clickConvert();
    OptionsSheet* sheet = sheets().phaseFixOptions();
    ASSERT_NE(sheet, nullptr);
    ASSERT_EQ(sheet->rows().size(), 3);
    EXPECT_EQ(sheet->rows()[0]->title(), "Use Left Channel");
    EXPECT_EQ(sheet->rows()[1]->title(), "Use Right Channel");
    EXPECT_EQ(sheet->rows()[2]->title(), "Split to Two Mono Files");
    EXPECT_TRUE(sheet->rows()[0]->isSelected());

    QTest::mouseClick(sheet->rows()[1], Qt::LeftButton);
    EXPECT_EQ(vm().selectedPhaseFixOption(), PhaseFixOption::useRight);
    EXPECT_TRUE(sheet->rows()[1]->isSelected());
    EXPECT_FALSE(sheet->rows()[0]->isSelected());
    press(sheet, Qt::Key_Return);
    waitForConversionToSettle();
    ASSERT_FALSE(vm().errorMessage().has_value()) << *vm().errorMessage();
    const auto output = readStoredInts(library / "Inverted_mono.wav");
    ASSERT_EQ(output.size(), 1u);
    EXPECT_EQ(output[0], right);
}

TEST_F(OptionSheetsTest, SubtitleCountsThePendingFiles)
{
    for (const char* name : {"One.wav", "Two.wav", "Three.wav"})
        stereoWav(name, StereoKind::phaseInverted);
    openWindow();
    chooseLibrary();
    clickConvert();
    ASSERT_NE(sheets().phaseFixOptions(), nullptr);
    EXPECT_EQ(subtitle(sheets().phaseFixOptions()), "3 file(s) have inverted phase (L = -R)");
}

// Phase first, then the multichannel question, then one conversion of both.
TEST_F(OptionSheetsTest, SheetsFollowEachOtherAndTheLastOneConverts)
{
    stereoWav("Inverted.wav", StereoKind::phaseInverted);
    multichannelWav("Surround.wav", {6, {{0, 1}}, {4}});
    keepOriginals();
    openWindow();
    chooseLibrary();
    clickConvert();
    ASSERT_NE(sheets().phaseFixOptions(), nullptr);
    EXPECT_EQ(sheets().multichannelOptions(), nullptr);
    click(sheets().phaseFixOptions()->convertButton());
    ASSERT_TRUE(processEventsUntil([this] { return sheets().multichannelOptions() != nullptr; }));
    OptionsSheet* sheet = sheets().multichannelOptions();
    EXPECT_EQ(sheet->size(), QSize(450, 420));
    EXPECT_EQ(subtitle(sheet), "1 file(s) have redundant channels (silent or duplicate)");
    ASSERT_EQ(sheet->rows().size(), 2);
    EXPECT_EQ(sheet->rows()[0]->title(), "Split All Channels to Mono");
    EXPECT_EQ(sheet->rows()[1]->title(), "Remove Redundant Channels");

    QTest::mouseClick(sheet->rows()[1], Qt::LeftButton);
    click(sheet->convertButton());
    waitForConversionToSettle();
    ASSERT_FALSE(vm().errorMessage().has_value()) << *vm().errorMessage();
    EXPECT_EQ(pcmFileInfo(library / "Surround_mono.wav").channels, 4);
    EXPECT_EQ(pcmFileInfo(library / "Inverted_mono.wav").channels, 1);
    EXPECT_FALSE(vm().phaseFixAcknowledged());
    EXPECT_FALSE(vm().multichannelAcknowledged());
}

}  // namespace
}  // namespace twinfold::test
