#include "WindowFixture.h"

#include "ui/LossyFormatNoticeView.h"
#include "ui/OptionsDialog.h"
#include "ui/DialogPresenter.h"

#include <QCheckBox>
#include <QMessageBox>

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
    // Keys go where the user's would: to the widget that has the focus.
    static void press(QDialog* dialog, Qt::Key key) {
        QWidget* focus = dialog->focusWidget();
        QTest::keyClick(focus ? focus : dialog, key);
    }
};

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
    EXPECT_EQ(libraryFiles(), (std::set<std::string>{"Inverted.wav", "Surround.wav"}));

    clickConvert();
    OptionsDialog* dialog = dialogs().phaseFixOptions();
    ASSERT_NE(dialog, nullptr) << "asked again";
    ASSERT_EQ(dialog->rows().size(), 3);
    EXPECT_TRUE(dialog->rows()[0]->isSelected());
    QTest::mouseClick(dialog->rows()[1], Qt::LeftButton);
    EXPECT_FALSE(dialog->rows()[0]->isSelected());
    press(dialog, Qt::Key_Return);
    ASSERT_TRUE(processEventsUntil([&] { return (dialog = dialogs().multichannelOptions()) != nullptr; }));
    QTest::mouseClick(dialog->rows().at(1), Qt::LeftButton);
    click(dialog->convertButton());
    waitForConversionToSettle();
    ASSERT_FALSE(vm().errorMessage().has_value()) << *vm().errorMessage();
    EXPECT_EQ(readStoredInts(library / "Inverted_mono.wav"), std::vector<std::vector<std::int32_t>>{right});
    EXPECT_EQ(pcmFileInfo(library / "Surround_mono.wav").channels, 4);
}

enum class Answer { escape, returnKey, button };  // button: "Continue" or "Delete Originals"

struct QuestionCase {
    const char* name;
    bool lossy;  // the notice before compressed files are written as WAV; else the question before deleting
    bool tickDontShowAgain;
    Answer answer;
    bool converts;
};

class QuestionAnswerTest : public OptionDialogsTest, public ::testing::WithParamInterface<QuestionCase> {};

// Only a confirmed notice converts, and only a confirmed tick is remembered.
// Only the explicit button deletes: the keys a slip presses keep every original.
TEST_P(QuestionAnswerTest, OnlyAConfirmedAnswerConverts) {
    const QuestionCase& c = GetParam();
    const std::string source = c.lossy ? "Podcast.mp3" : "Take.wav",
                      output = c.lossy ? "Podcast_mono.wav" : "Take_mono.wav";
    if (c.lossy)
        writeDualMonoMp3(library.path(), source);
    else
        stereoWav(source, StereoKind::dualMono);
    openAndScan();
    if (!c.lossy) vm().overrideSettings({.originalFileHandling = OriginalFileHandling::deleteOriginals});
    clickConvert();
    const auto shown = [&]() -> QDialog* {
        return c.lossy ? static_cast<QDialog*>(dialogs().lossyNotice()) : dialogs().deleteConfirmation();
    };
    QDialog* dialog = shown();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isModal());
    QAbstractButton* button = nullptr;
    if (LossyFormatNoticeView* notice = dialogs().lossyNotice()) {
        if (c.tickDontShowAgain) QTest::mouseClick(notice->dontShowAgainBox(), Qt::LeftButton);
        button = notice->continueButton();
    } else {
        QMessageBox* box = dialogs().deleteConfirmation();
        EXPECT_TRUE(box->detailedText().endsWith("Take.wav"));
        EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Cancel));
        button = deleteOriginalsButton();
    }
    ASSERT_NE(button, nullptr);
    if (c.answer == Answer::button)
        click(button);
    else
        press(dialog, c.answer == Answer::escape ? Qt::Key_Escape : Qt::Key_Return);
    ASSERT_TRUE(processEventsUntil([&] { return !shown(); })) << "the question stayed open";
    waitForConversionToSettle();
    ASSERT_FALSE(vm().errorMessage().has_value()) << *vm().errorMessage();
    std::set<std::string> expected{c.converts && !c.lossy ? output : source};
    if (c.converts && c.lossy) expected.insert(output);
    EXPECT_EQ(libraryFiles(), expected);
    if (!c.lossy) return;

    const bool remembered = c.converts && c.tickDontShowAgain;
    EXPECT_EQ(hideLossyFormatNotice(), remembered);
    vm().setSelectedResultIDs({resultNamed(source).id});
    clickConvert();
    EXPECT_EQ(dialogs().lossyNotice() != nullptr, !remembered) << "asked again unless remembered";
    waitForConversionToSettle();
    for (QAction* action : window().findChildren<QAction*>())
        if (action->text() == "Show Lossy Format Notice Again") action->trigger();
    EXPECT_FALSE(hideLossyFormatNotice());
}

INSTANTIATE_TEST_SUITE_P(Answers, QuestionAnswerTest,
                         ::testing::Values(QuestionCase{"LossyEscapeAfterTicking", true, true, Answer::escape, false},
                                           QuestionCase{"LossyContinueTicked", true, true, Answer::button, true},
                                           QuestionCase{"LossyReturnUnticked", true, false, Answer::returnKey, true},
                                           QuestionCase{"DeletionEscape", false, false, Answer::escape, false},
                                           QuestionCase{"DeletionReturn", false, false, Answer::returnKey, false},
                                           QuestionCase{"DeletionButton", false, false, Answer::button, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace twinfold::test
