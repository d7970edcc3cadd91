#include "WindowFixture.h"

#include "support/FileTree.h"
#include "ui/AlertPresenter.h"
#include "ui/ClashAlert.h"
#include "ui/DialogPresenter.h"
#include "ui/LossyFormatNoticeView.h"
#include "ui/OptionsDialog.h"
#include "ui/RestoreDialog.h"
#include "ui/ResultPresentation.h"
#include "ui/ResultsTable.h"
#include "ui/ScanResultsView.h"
#include "ui/StatView.h"
#include "workflow/SavingsEstimate.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QSignalSpy>

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
    EXPECT_EQ(std::tuple(dialogs().multichannelOptions() == nullptr, vm().selectedResultIDs(), libraryFiles()),
              std::tuple(true, selection, std::set<std::string>{"Inverted.wav", "Surround.wav"}));

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

// How the user answers: a key, or the button that goes ahead ("Continue",
// "Delete Originals").
enum class Answer { escape, returnKey, button };

struct QuestionCase {
    const char* name;
    bool tickDontShowAgain;  // on the notice before compressed files are written as WAV
    Answer answer;
    bool converts;
};

class QuestionAnswerTest : public OptionDialogsTest, public ::testing::WithParamInterface<QuestionCase> {
protected:
    void answer(QDialog* dialog, QAbstractButton* button) {
        ASSERT_TRUE(dialog && button && dialog->isModal());
        const Answer how = GetParam().answer;
        how == Answer::button ? click(button) : press(dialog, how == Answer::escape ? Qt::Key_Escape : Qt::Key_Return);
        EXPECT_TRUE(processEventsUntil([open = QPointer(dialog)] { return !open || !open->isVisible(); }))
            << "the question stayed open";
        waitForConversionToSettle();
        EXPECT_FALSE(vm().errorMessage().has_value()) << *vm().errorMessage();
    }
};

using LossyNoticeTest = QuestionAnswerTest;
using DeletionQuestionTest = QuestionAnswerTest;

// Only a confirmed notice converts, and only a confirmed tick is remembered.
TEST_P(LossyNoticeTest, OnlyAConfirmedNoticeConverts) {
    writeDualMonoMp3(library.path(), "Podcast.mp3");
    openAndScan();
    clickConvert();
    LossyFormatNoticeView* notice = dialogs().lossyNotice();
    if (notice && GetParam().tickDontShowAgain) QTest::mouseClick(notice->dontShowAgainBox(), Qt::LeftButton);
    answer(notice, notice ? notice->continueButton() : nullptr);
    std::set<std::string> files{"Podcast.mp3"};
    if (GetParam().converts) files.insert("Podcast_mono.wav");
    EXPECT_EQ(libraryFiles(), files);

    const bool remembered = GetParam().converts && GetParam().tickDontShowAgain;
    EXPECT_EQ(hideLossyFormatNotice(), remembered);
    vm().setSelectedResultIDs({resultNamed("Podcast.mp3").id});
    clickConvert();
    EXPECT_EQ(dialogs().lossyNotice() != nullptr, !remembered) << "asked again unless remembered";
    waitForConversionToSettle();
    for (QAction* action : window().findChildren<QAction*>())
        if (action->text() == "Show Lossy Format Notice Again") action->trigger();
    EXPECT_FALSE(hideLossyFormatNotice());
}

// Only the explicit button deletes: the keys a slip presses keep every original.
TEST_P(DeletionQuestionTest, OnlyTheExplicitButtonDeletes) {
    stereoWav("Take.wav", StereoKind::dualMono);
    openAndScan();
    vm().overrideSettings({.originalFileHandling = OriginalFileHandling::deleteOriginals});
    clickConvert();
    QMessageBox* box = dialogs().deleteConfirmation();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->detailedText().endsWith("Take.wav") && box->defaultButton() == box->button(QMessageBox::Cancel));
    answer(box, deleteOriginalsButton());
    EXPECT_EQ(libraryFiles(), std::set<std::string>{GetParam().converts ? "Take_mono.wav" : "Take.wav"});
}

const auto caseName = [](const auto& info) { return std::string(info.param.name); };
INSTANTIATE_TEST_SUITE_P(Answers, LossyNoticeTest,
                         ::testing::Values(QuestionCase{"EscapeAfterTicking", true, Answer::escape, false},
                                           QuestionCase{"ContinueTicked", true, Answer::button, true},
                                           QuestionCase{"ReturnUnticked", false, Answer::returnKey, true}),
                         caseName);
INSTANTIATE_TEST_SUITE_P(Answers, DeletionQuestionTest,
                         ::testing::Values(QuestionCase{"Escape", false, Answer::escape, false},
                                           QuestionCase{"Return", false, Answer::returnKey, false},
                                           QuestionCase{"Button", false, Answer::button, true}),
                         caseName);

// The same fixture: originals stay in place unless a test says otherwise.
using WholeRoadTest = OptionDialogsTest;

// Outputs that cannot be written are listed before anything is written; the
// user converts the rest or nothing.
TEST_F(WholeRoadTest, ClashesAskBeforeAnythingIsWritten) {
    stereoWav("Dual.wav", StereoKind::dualMono);
    stereoWav("Taken.wav", StereoKind::dualMono);
    const std::string taken = fileText(monoWav("Taken_mono.wav"));
    openAndScan();
    for (bool skip : {false, true}) {
        vm().selectAllConvertible();
        click(view().actionBar()->convertButton());
        QMessageBox* alert = view().clashAlert()->alert();
        ASSERT_NE(alert, nullptr);
        EXPECT_TRUE(alert->informativeText().contains("Taken_mono.wav: a file of this name already exists"))
            << alert->informativeText().toStdString();
        EXPECT_FALSE(fs::exists(library / "Dual_mono.wav"));
        skip ? click(view().clashAlert()->skipButton()) : alert->button(QMessageBox::Cancel)->click();
        waitForConversionToSettle();
        EXPECT_EQ(std::pair(fs::exists(library / "Dual_mono.wav"), vm().pendingClashes().empty()),
                  std::pair(skip, true));
    }
    EXPECT_EQ(fileText(library / "Taken_mono.wav"), taken);
}

// File → Restore Originals… puts a converted folder back as it was: the
// originals in their places, the outputs gone.
TEST_F(WholeRoadTest, RestoreOriginalsUndoesAConversion) {
    stereoWav("Dual.wav", StereoKind::dualMono);
    stereoWav("Silent.wav", StereoKind::leftSilent);
    const auto before = fileTree(library.path());
    openAndScan();
    vm().overrideSettings({.originalFileHandling = OriginalFileHandling::moveToBackup});
    vm().setBackupTimeSource([] { return QDateTime(QDate(2025, 3, 7), QTime(14, 5)); });
    click(view().actionBar()->convertButton());
    waitForConversionToSettle();
    window().restoreDialog()->setFolderChooser(
        [&] { return std::optional(library / "Twinfold Backup 2025-03-07 14:05"); });
    window().restoreOriginalsAction()->trigger();
    ASSERT_NE(window().restoreDialog()->question(), nullptr);
    QSignalSpy done(window().restoreDialog(), &RestoreDialog::finished);
    click(window().restoreDialog()->restoreAndRemoveButton());
    ASSERT_TRUE(done.wait(30000));
    ASSERT_NE(window().restoreDialog()->resultAlert(), nullptr);
    EXPECT_TRUE(window().restoreDialog()->resultAlert()->informativeText().contains("Restored 2 originals."));
    waitForScan();
    EXPECT_EQ(fileTree(library.path()), before);
}

// What a conversion did stays in the action bar through the rescan that
// follows it, until the next scan; every original not handled as asked is
// listed in one alert's details.
TEST_F(WholeRoadTest, TheOutcomeOutlivesTheRescanAndEveryProblemIsListed) {
    setHideLossyFormatNotice(true);
    // A file already in an original's place in the backup folder keeps that
    // original where it is: one for each day but the first.
    QStringList dayProblems;
    for (std::uint32_t day = 1; day <= 12; ++day) {
        const std::string take = "Day " + std::to_string(day) + "/Take.wav";
        for (const std::string folder : {"days/", "days/Twinfold Backup 2025-03-07 14:05/"}) {
            if (day == 1 && folder != "days/") continue;
            stereoWav(folder + take, StereoKind::dualMono);
        }
        if (day > 1) dayProblems << QString("Failed to move %1: File exists").arg(QString::fromStdString(take));
    }
    fs::create_directory(library / "lossy");
    writeDualMonoMp3(library / "lossy", "Podcast.mp3");
    const std::tuple<std::string, OriginalFileHandling, QStringList> cases[] = {
        {"days", OriginalFileHandling::moveToBackup, dayProblems}, {"lossy", OriginalFileHandling::leaveInPlace, {}}};
    openWindow();
    vm().setBackupTimeSource([] { return QDateTime(QDate(2025, 3, 7), QTime(14, 5)); });
    ActionBar& bar = *view().actionBar();
    for (const auto& [folder, policy, problems] : cases) {
        SCOPED_TRACE(folder);
        vm().setSettings({.originalFileHandling = policy});
        vm().setFolderChooser([&] { return std::optional<fs::path>(library / folder); });
        click(view().header()->selectFolderButton());
        waitForScan();
        EXPECT_FALSE(bar.convertedLabel()->isVisible()) << "a new scan ends the last outcome";

        click(bar.convertButton());
        waitForConversionToSettle();
        ASSERT_TRUE(vm().lastConversionOutcome().has_value());
        EXPECT_EQ(vm().conversionState(), ConversionState::idle()) << "the rescan has run";
        EXPECT_TRUE(bar.convertedLabel()->isVisible());
        EXPECT_EQ(bar.problemsLabel()->isVisible(), !problems.isEmpty());
        QMessageBox* alert = view().alerts()->originalsProblemsAlert();
        ASSERT_EQ(alert != nullptr, !problems.isEmpty());
        if (!alert) continue;
        // In conversion order, which need not be the order of the days.
        const QStringList details = alert->detailedText().split('\n', Qt::SkipEmptyParts);
        EXPECT_EQ(std::multiset(details.begin(), details.end()), std::multiset(problems.begin(), problems.end()));
        for (const QString& problem : problems) EXPECT_TRUE(bar.problemsLabel()->toolTip().contains(problem));
        click(alert->button(QMessageBox::Ok));
        EXPECT_TRUE(processEventsUntil([this] { return !view().alerts()->originalsProblemsAlert(); }));
        EXPECT_TRUE(bar.convertedLabel()->isVisible()) << "the outcome stays after the alert";
    }
}

using WindowWorkTest = WindowFixture;

std::int64_t folderBytes(const fs::path& folder) {
    std::int64_t total = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) total += std::int64_t(entry.file_size());
    return total;
}

// The whole job without a mouse: open, tick, take back a slip, convert.
TEST_F(WindowWorkTest, KeyboardOnlyWithASlipUndone) {
    stereoWav("A.wav", StereoKind::dualMono);
    stereoWav("B.wav", StereoKind::leftSilent);
    stereoWav("C.wav", StereoKind::trueStereo);
    openWindow();
    vm().setFolderChooser([this] { return std::optional<fs::path>(library.path()); });
    QTest::keyClick(&window(), Qt::Key_O, Qt::ControlModifier);
    waitForScan();
    ResultsTable* table = view().resultsView()->table();
    ASSERT_EQ(QApplication::focusWidget(), table);
    const std::set<Uuid> ticked = vm().selectedResultIDs();
    EXPECT_EQ(ticked.size(), 2u);

    // Moving does not re-select; Space drops the current row only; Ctrl+Z brings it back.
    QTest::keyClick(table, Qt::Key_Down);
    EXPECT_EQ(vm().selectedResultIDs(), ticked);
    QTest::keyClick(table, Qt::Key_Space);
    EXPECT_EQ(view().actionBar()->selectedCountLabel()->text(), "1 selected");
    QTest::keyClick(table, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(vm().selectedResultIDs(), ticked);

    QTest::keyClick(table, Qt::Key_Return);
    waitForConversionToSettle();
    EXPECT_TRUE(fs::exists(library / "A_mono.wav") && fs::exists(library / "B_mono.wav"));
}

// The savings shown for the ticked rows are what deleting their originals frees.
TEST_F(WindowWorkTest, SavingsFigureMatchesTheBytesFreed) {
    stereoWav("Dual.wav", StereoKind::dualMono, kPcm16, 48000);
    stereoWav("Silent.wav", StereoKind::rightSilent, {PcmContainer::wav, PcmEncoding::int24, 44100}, 30000);
    stereoWav("Small.aif", StereoKind::dualMono, {PcmContainer::aiff, PcmEncoding::int8, 22050}, 5000);
    stereoWav("Float.wav", StereoKind::leftSilent, {PcmContainer::wav, PcmEncoding::float32, 48000}, 7000);
    stereoWav("Stereo.wav", StereoKind::trueStereo);
    openWindow();
    vm().setSettings({.originalFileHandling = OriginalFileHandling::deleteOriginals});
    chooseLibrary();
    StatView* savings = view().actionBar()->stat("Potential Savings");
    const QString allTicked = savings->value();
    vm().toggleSelection(resultNamed("Small.aif").id);
    EXPECT_NE(savings->value(), allTicked);
    vm().toggleSelection(resultNamed("Small.aif").id);

    const std::int64_t estimate = estimateSavings(vm().selectedConvertibleResults(), vm().settings(), {}).saved();
    EXPECT_EQ(allTicked, byteCountText(estimate));
    const std::int64_t before = folderBytes(library.path());
    click(view().actionBar()->convertButton());
    click(deleteOriginalsButton());
    waitForConversionToSettle();
    // Within a header's difference per file: the estimate carries each
    // source's header and chunks over, the writer lays out its own.
    EXPECT_NEAR(double(before - folderBytes(library.path())), double(estimate), 4 * 100);
}

}  // namespace
}  // namespace twinfold::test
