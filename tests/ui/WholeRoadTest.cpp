#include "WindowFixture.h"

#include "ui/AlertPresenter.h"
#include "ui/ClashAlert.h"
#include "ui/ProgressRow.h"
#include "ui/RestoreDialog.h"
#include "support/FileTree.h"

#include <QAction>
#include <QSignalSpy>

#include <QLabel>
#include <QMessageBox>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>

namespace twinfold::test {
namespace {

using WholeRoadTest = WindowFixture;

// Outputs that cannot be written are listed before anything is written; the
// user converts the rest or nothing.
TEST_F(WholeRoadTest, ClashesAskBeforeAnythingIsWritten) {
    stereoWav("Dual.wav", StereoKind::dualMono);
    stereoWav("Taken.wav", StereoKind::dualMono);
    const fs::path taken = monoWav("Taken_mono.wav");
    const auto takenBytes = fs::file_size(taken);
    openAndScan();
    for (bool skip : {false, true}) {
        vm().selectAllConvertible();
        click(view().actionBar()->convertButton());
        QMessageBox* alert = view().clashAlert()->alert();
        ASSERT_NE(alert, nullptr);
        EXPECT_NE(alert->informativeText().indexOf("Taken_mono.wav: a file of this name already exists"), -1)
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
    EXPECT_EQ(fs::file_size(taken), takenBytes);
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
    const fs::path backup = library / "Twinfold Backup 2025-03-07 14:05";
    ASSERT_TRUE(fs::exists(backup / "Dual.wav"));

    window().restoreDialog()->setFolderChooser([&] { return std::optional(backup); });
    window().restoreOriginalsAction()->trigger();
    QMessageBox* question = window().restoreDialog()->question();
    ASSERT_NE(question, nullptr);
    QSignalSpy done(window().restoreDialog(), &RestoreDialog::finished);
    click(window().restoreDialog()->restoreAndRemoveButton());
    ASSERT_TRUE(done.wait(30000));
    ASSERT_NE(window().restoreDialog()->resultAlert(), nullptr);
    EXPECT_NE(window().restoreDialog()->resultAlert()->informativeText().indexOf("Restored 2 originals."), -1)
        << window().restoreDialog()->resultAlert()->informativeText().toStdString();
    waitForScan();
    EXPECT_EQ(fileTree(library.path()), before);
}

struct OutcomeCase {
    const char* folder;
    OriginalFileHandling policy;
    std::function<void(const fs::path& folder)> writeFiles;
    const char* converted;  // the outcome's words, before the byte count
    QStringList problems;
};

// What a conversion did stays in the action bar through the rescan that
// follows it, until the next scan; every original not handled as asked is
// listed in one alert.
TEST_F(WholeRoadTest, TheOutcomeOutlivesTheRescanAndEveryProblemIsListed) {
    setHideLossyFormatNotice(true);
    const auto dualMono = [this](const fs::path& path, std::uint32_t seed) {
        fs::create_directories(path.parent_path());
        writePcm(path, kPcm16, stereo(StereoKind::dualMono, 4800, kPcm16.encoding, seed));
    };
    // A file already in an original's place in the backup folder keeps that original where it is.
    const auto takenInBackup = [&](const fs::path& at, const std::string& place) {
        dualMono(at / "Twinfold Backup 2025-03-07 14:05" / place, 99);
    };
    QStringList dayProblems;
    for (int day = 2; day <= 12; ++day) dayProblems << QString("Failed to move Day %1/Take.wav: File exists").arg(day);
    const OutcomeCase cases[] = {
        // One taken place for each further day: the alert lists ten, the details all.
        {"days", OriginalFileHandling::moveToBackup,
         [&](const fs::path& at) {
             for (std::uint32_t day = 1; day <= 12; ++day) {
                 dualMono(at / ("Day " + std::to_string(day)) / "Take.wav", 10 + day);
                 if (day > 1) takenInBackup(at, "Day " + std::to_string(day) + "/Take.wav");
             }
         },
         "Converted 12 files — saved ", dayProblems},
        {"lossy",
         OriginalFileHandling::leaveInPlace,
         [](const fs::path& at) { fs::create_directory(at), writeDualMonoMp3(at, "Podcast.mp3"); },
         "Converted 1 file — grew by ",
         {}},
    };
    openWindow();
    vm().setBackupTimeSource([] { return QDateTime(QDate(2025, 3, 7), QTime(14, 5)); });
    ActionBar& bar = *view().actionBar();
    for (const OutcomeCase& c : cases) {
        SCOPED_TRACE(c.folder);
        const fs::path folder = library / c.folder;
        c.writeFiles(folder);
        AppSettings settings = vm().settings();
        settings.originalFileHandling = c.policy;
        vm().setSettings(settings);
        vm().setFolderChooser([folder] { return std::optional<fs::path>(folder); });
        click(view().header()->selectFolderButton());
        waitForScan();
        EXPECT_FALSE(bar.convertedLabel()->isVisible()) << "a new scan ends the last outcome";

        click(bar.convertButton());
        waitForConversionToSettle();
        ASSERT_TRUE(vm().lastConversionOutcome().has_value());
        EXPECT_EQ(vm().conversionState(), ConversionState::idle()) << "the rescan has run";
        EXPECT_TRUE(bar.convertedLabel()->isVisible());
        EXPECT_EQ(bar.convertedLabel()->text(),
                  c.converted + QLocale().formattedDataSize(std::abs(vm().lastConversionOutcome()->savedBytes), 1,
                                                            QLocale::DataSizeSIFormat));
        EXPECT_EQ(bar.problemsLabel()->isVisible(), !c.problems.isEmpty());
        QMessageBox* alert = view().alerts()->originalsProblemsAlert();
        ASSERT_EQ(alert != nullptr, !c.problems.isEmpty());
        if (!alert) continue;
        EXPECT_TRUE(alert->isVisible());
        for (const QString& problem : c.problems) {
            // The first ten in the text, all in the details.
            EXPECT_TRUE((alert->informativeText() + alert->detailedText()).contains(problem)) << problem.toStdString();
            EXPECT_TRUE(bar.problemsLabel()->toolTip().contains(problem.toHtmlEscaped()));
        }
        EXPECT_EQ(alert->informativeText().count(QStringLiteral("• ")), std::min(c.problems.size(), qsizetype(10)));
        // In conversion order, which need not be the order of the days.
        QStringList details = alert->detailedText().split('\n', Qt::SkipEmptyParts), expected = c.problems;
        details.sort();
        expected.sort();
        EXPECT_EQ(details, c.problems.size() > 10 ? expected : QStringList());
        click(alert->button(QMessageBox::Ok));
        EXPECT_TRUE(processEventsUntil([this] { return !view().alerts()->originalsProblemsAlert(); }));
        EXPECT_TRUE(bar.convertedLabel()->isVisible()) << "the outcome stays after the alert";
    }
}

}  // namespace
}  // namespace twinfold::test
