#include "WindowFixture.h"

#include "ui/AlertPresenter.h"
#include "ui/ClashAlert.h"
#include "ui/RestoreDialog.h"
#include "support/FileTree.h"

#include <QLabel>
#include <QMessageBox>
#include <QSignalSpy>

namespace twinfold::test {
namespace {

using WholeRoadTest = WindowFixture;

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
        if (skip)
            click(view().clashAlert()->skipButton());
        else
            alert->button(QMessageBox::Cancel)->click();
        waitForConversionToSettle();
        EXPECT_EQ(fs::exists(library / "Dual_mono.wav"), skip);
        EXPECT_TRUE(vm().pendingClashes().empty());
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
// listed in one alert: the first ten in its text, all in its details.
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
    const std::tuple<std::string, OriginalFileHandling, QString, QStringList> cases[] = {
        {"days", OriginalFileHandling::moveToBackup, "Converted 12 files — saved ", dayProblems},
        {"lossy", OriginalFileHandling::leaveInPlace, "Converted 1 file — grew by ", {}}};
    openWindow();
    vm().setBackupTimeSource([] { return QDateTime(QDate(2025, 3, 7), QTime(14, 5)); });
    ActionBar& bar = *view().actionBar();
    for (const auto& [folder, policy, converted, problems] : cases) {
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
        EXPECT_EQ(bar.convertedLabel()->text(),
                  converted + QLocale().formattedDataSize(std::abs(vm().lastConversionOutcome()->savedBytes), 1,
                                                          QLocale::DataSizeSIFormat));
        EXPECT_EQ(bar.problemsLabel()->isVisible(), !problems.isEmpty());
        QMessageBox* alert = view().alerts()->originalsProblemsAlert();
        ASSERT_EQ(alert != nullptr, !problems.isEmpty());
        if (!alert) continue;
        EXPECT_EQ(alert->informativeText().count(QStringLiteral("• ")), 10);
        // In conversion order, which need not be the order of the days.
        QStringList details = alert->detailedText().split('\n', Qt::SkipEmptyParts), expected = problems;
        details.sort();
        expected.sort();
        EXPECT_EQ(details, expected);
        for (const QString& problem : problems) EXPECT_TRUE(bar.problemsLabel()->toolTip().contains(problem));
        click(alert->button(QMessageBox::Ok));
        EXPECT_TRUE(processEventsUntil([this] { return !view().alerts()->originalsProblemsAlert(); }));
        EXPECT_TRUE(bar.convertedLabel()->isVisible()) << "the outcome stays after the alert";
    }
}

}  // namespace
}  // namespace twinfold::test
