#include "WindowFixture.h"

#include "ui/LossyFormatNoticeView.h"
#include "ui/OptionsDialog.h"
#include "ui/DialogPresenter.h"

#include <QCheckBox>
#include <QAction>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace twinfold::test {
namespace {

class OptionDialogsTest : public WindowFixture {
protected:
    // Originals stay where they are, so a test can read them after converting.
    OptionDialogsTest() {
        saveAppSettings({.originalFileHandling = OriginalFileHandling::leaveInPlace, .checkForUpdatesOnLaunch = false});
    }
    void clickConvert() { click(view().actionBar()->convertButton()); }
    DialogPresenter& dialogs() { return *view().dialogs(); }
    QAction* menuAction(const QString& text) {
        for (QAction* action : window().findChildren<QAction*>())
            if (action->text() == text) return action;
        throw std::runtime_error("no menu entry " + text.toStdString());
    }
    // Keys go where the user's would: to the widget that has the focus.
    static void press(QDialog* dialog, Qt::Key key) {
        QWidget* focus = dialog->focusWidget();
        QTest::keyClick(focus ? focus : dialog, key);
    }
};

enum class Answer { escape, continueButton, returnKey };

struct LossyCase {
    const char* name;
    bool tickDontShowAgain;
    Answer answer;
    bool converts;
};

class LossyNoticeTest : public OptionDialogsTest, public ::testing::WithParamInterface<LossyCase> {};

// Only a confirmed notice converts, and only a confirmed tick is remembered.
TEST_P(LossyNoticeTest, AnswerDecidesWhatHappensAndWhatIsRemembered) {
    const LossyCase& c = GetParam();
    writeDualMonoMp3(library.path(), "Podcast.mp3");
    openAndScan();
    clickConvert();
    LossyFormatNoticeView* notice = dialogs().lossyNotice();
    ASSERT_NE(notice, nullptr);
    EXPECT_TRUE(notice->isModal());
    if (c.tickDontShowAgain) QTest::mouseClick(notice->dontShowAgainBox(), Qt::LeftButton);
    if (c.answer == Answer::continueButton)
        click(notice->continueButton());
    else
        press(notice, c.answer == Answer::escape ? Qt::Key_Escape : Qt::Key_Return);
    ASSERT_TRUE(processEventsUntil([this] { return !dialogs().lossyNotice(); })) << "the notice stayed open";
    waitForConversionToSettle();
    ASSERT_FALSE(vm().errorMessage().has_value()) << *vm().errorMessage();
    EXPECT_EQ(libraryFiles().count("Podcast_mono.wav"), c.converts ? 1u : 0u);
    EXPECT_EQ(libraryFiles().size(), c.converts ? 2u : 1u);
    const bool remembered = c.converts && c.tickDontShowAgain;
    EXPECT_EQ(hideLossyFormatNotice(), remembered);

    vm().setSelectedResultIDs({resultNamed("Podcast.mp3").id});
    clickConvert();
    EXPECT_EQ(dialogs().lossyNotice() != nullptr, !remembered) << "asked again unless remembered";
    waitForConversionToSettle();
    menuAction("Show Lossy Format Notice Again")->trigger();
    EXPECT_FALSE(hideLossyFormatNotice());
}

INSTANTIATE_TEST_SUITE_P(Answers, LossyNoticeTest,
                         ::testing::Values(LossyCase{"EscapeAfterTicking", true, Answer::escape, false},
                                           LossyCase{"ContinueTicked", true, Answer::continueButton, true},
                                           LossyCase{"ReturnUnticked", false, Answer::returnKey, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// Cancel leaves everything as it was; the next try asks again, and the
// multichannel question follows the phase one; the conversion takes both
// answers (the right channel alone, the redundant channels removed).
TEST_F(OptionDialogsTest, CancelOrAnswerEveryQuestionInTurn) {
    const fs::path inverted = stereoWav("Inverted.wav", StereoKind::phaseInverted);
    multichannelWav("Surround.wav", {6, {{0, 1}}, {4}});
    const auto right = readStoredInts(inverted).at(1);
    openAndScan();
    const auto selection = vm().selectedResultIDs();
    clickConvert();
    ASSERT_NE(dialogs().phaseFixOptions(), nullptr);
    click(dialogs().phaseFixOptions()->cancelButton());
    ASSERT_TRUE(processEventsUntil([this] { return !dialogs().phaseFixOptions(); })) << "the dialog stayed open";
    EXPECT_EQ(dialogs().multichannelOptions(), nullptr);
    EXPECT_EQ(vm().selectedResultIDs(), selection);
    EXPECT_EQ(vm().conversionState(), ConversionState::idle());
    EXPECT_EQ(libraryFiles(), (std::set<std::string>{"Inverted.wav", "Surround.wav"}));

    clickConvert();
    OptionsDialog* dialog = dialogs().phaseFixOptions();
    ASSERT_NE(dialog, nullptr) << "asked again";
    ASSERT_EQ(dialog->rows().size(), 3);
    EXPECT_TRUE(dialog->rows()[0]->isSelected());
    QTest::mouseClick(dialog->rows()[1], Qt::LeftButton);
    EXPECT_FALSE(dialog->rows()[0]->isSelected());
    press(dialog, Qt::Key_Return);
    ASSERT_TRUE(processEventsUntil([this] { return dialogs().multichannelOptions() != nullptr; }));
    dialog = dialogs().multichannelOptions();
    ASSERT_EQ(dialog->rows().size(), 2);
    QTest::mouseClick(dialog->rows()[1], Qt::LeftButton);
    click(dialog->convertButton());
    waitForConversionToSettle();
    ASSERT_FALSE(vm().errorMessage().has_value()) << *vm().errorMessage();
    EXPECT_EQ(readStoredInts(library / "Inverted_mono.wav"), std::vector<std::vector<std::int32_t>>{right});
    EXPECT_EQ(pcmFileInfo(library / "Surround_mono.wav").channels, 4);
}

struct DeletionCase {
    const char* name;
    Answer answer;  // continueButton: "Delete Originals"
    bool converts;
};

class DeletionQuestionTest : public OptionDialogsTest, public ::testing::WithParamInterface<DeletionCase> {};

// Only the explicit button deletes: the keys a slip presses keep every original.
TEST_P(DeletionQuestionTest, OnlyTheDeleteButtonConverts) {
    const DeletionCase& c = GetParam();
    stereoWav("Take.wav", StereoKind::dualMono);
    openAndScan();
    vm().overrideSettings({.originalFileHandling = OriginalFileHandling::deleteOriginals});
    clickConvert();
    QMessageBox* box = dialogs().deleteConfirmation();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->detailedText().endsWith("Take.wav"));
    EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Cancel));
    QAbstractButton* remove = deleteOriginalsButton();
    ASSERT_NE(remove, nullptr);
    if (c.answer == Answer::continueButton)
        click(remove);
    else
        press(box, c.answer == Answer::escape ? Qt::Key_Escape : Qt::Key_Return);
    ASSERT_TRUE(processEventsUntil([this] { return !dialogs().deleteConfirmation(); })) << "the question stayed";
    waitForConversionToSettle();
    ASSERT_FALSE(vm().errorMessage().has_value()) << *vm().errorMessage();
    const auto expected = c.converts ? std::set<std::string>{"Take_mono.wav"} : std::set<std::string>{"Take.wav"};
    EXPECT_EQ(libraryFiles(), expected);
}

INSTANTIATE_TEST_SUITE_P(Answers, DeletionQuestionTest,
                         ::testing::Values(DeletionCase{"Escape", Answer::escape, false},
                                           DeletionCase{"Return", Answer::returnKey, false},
                                           DeletionCase{"DeleteButton", Answer::continueButton, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace twinfold::test
