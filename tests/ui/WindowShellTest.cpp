#include "WindowFixture.h"

#include "ui/AlertPresenter.h"
#include "ui/HeaderView.h"
#include "ui/ProgressRow.h"
#include "ui/ActionBar.h"
#include "ui/SettingsPanel.h"
#include "updates/BuildInfo.h"
#include "workflow/SettingsStore.h"

#include <QAction>
#include <QCheckBox>
#include <QMessageBox>

#include <fstream>

namespace twinfold::test {
namespace {

using WindowShellTest = WindowFixture;

void clickOk(QMessageBox* alert)
{
    ASSERT_NE(alert, nullptr);
    QTest::mouseClick(alert->button(QMessageBox::Ok), Qt::LeftButton);
}

TEST_F(WindowShellTest, FirstStartChecksForUpdatesOnceAndSilently)
{
    openWindow();
    EXPECT_TRUE(view().settingsPanel()->checkForUpdatesBox()->isChecked());
    waitForUpdateCheck(1);
    EXPECT_EQ(view().alerts()->upToDateAlert(), nullptr);

    // Showing the window again is not a new launch.
    window().hide();
    window().show();
    EXPECT_FALSE(updateVM().isChecking());
    EXPECT_EQ(server.requests().size(), 1);
}

TEST_F(WindowShellTest, NoLaunchCheckWhenTurnedOff)
{
    AppSettings settings;
    settings.checkForUpdatesOnLaunch = false;
    saveAppSettings(settings);
    openWindow();
    EXPECT_FALSE(view().settingsPanel()->checkForUpdatesBox()->isChecked());
    EXPECT_FALSE(updateVM().isChecking());
    EXPECT_TRUE(server.requests().isEmpty());
}

TEST_F(WindowShellTest, MenuCheckWithNothingNewerSaysUpToDate)
{
    openWindow();
    waitForUpdateCheck(1);
    window().checkForUpdatesAction()->trigger();
    waitForUpdateCheck(2);
    QMessageBox* alert = view().alerts()->upToDateAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->windowTitle(), "Up to Date");
    EXPECT_EQ(alert->informativeText(), "You’re running the latest version of Twinfold.");
    clickOk(alert);
    EXPECT_FALSE(updateVM().showUpToDate());
    EXPECT_EQ(view().alerts()->upToDateAlert(), nullptr);
}

TEST_F(WindowShellTest, FailedMenuCheckShowsTheReason)
{
    server.respondWith({500});
    openWindow();
    waitForUpdateCheck(1);
    EXPECT_EQ(view().alerts()->checkFailedAlert(), nullptr) << "the launch check stays silent";
    window().checkForUpdatesAction()->trigger();
    waitForUpdateCheck(2);
    QMessageBox* alert = view().alerts()->checkFailedAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->windowTitle(), "Update Check Failed");
    EXPECT_EQ(alert->informativeText(),
              "Could not reach the update server. Please check your internet connection and try again.");
    clickOk(alert);
    EXPECT_FALSE(updateVM().checkError().has_value());
}

TEST_F(WindowShellTest, HelpOpensTheHelpPage)
{
    openWindow();
    QList<QUrl> opened;
    window().setUrlOpener([&](const QUrl& url) { opened << url; });
    window().helpAction()->trigger();
    EXPECT_EQ(opened, QList<QUrl>{helpPageURL()});
    EXPECT_EQ(helpPageURL().path(), "/help");
}

TEST_F(WindowShellTest, ResetReturnsToTheEmptyState)
{
    stereoWav("Dual.wav", StereoKind::dualMono);
    openWindow();
    EXPECT_TRUE(view().isShowingEmptyState());
    EXPECT_FALSE(view().header()->resetButton()->isVisible());
    chooseLibrary();
    EXPECT_FALSE(view().isShowingEmptyState());
    EXPECT_EQ(view().header()->folderText().toStdString(), library.path().string());

    click(view().header()->resetButton());
    QCoreApplication::processEvents();
    EXPECT_TRUE(view().isShowingEmptyState());
    EXPECT_EQ(view().header()->folderText(), "No folder selected");
    EXPECT_TRUE(view().header()->folderTextIsPlaceholder());
    EXPECT_FALSE(view().header()->resetButton()->isVisible());
    EXPECT_FALSE(view().actionBar()->convertButton()->isVisible());
}

TEST_F(WindowShellTest, ButtonsWaitWhileScanning)
{
    stereoWav("Dual.wav", StereoKind::dualMono);
    openWindow();
    HeaderView* header = view().header();
    vm().setFolderChooser([this] { return std::optional<fs::path>(library.path()); });
    click(header->selectFolderButton());
    // The scan has started but none of its reports has been delivered yet.
    ASSERT_TRUE(vm().scanState().isScanning());
    EXPECT_FALSE(header->selectFolderButton()->isEnabled());
    EXPECT_FALSE(header->resetButton()->isEnabled());
    EXPECT_TRUE(header->scanningRow()->isVisible());
    EXPECT_EQ(header->scanningRow()->statusText(), "Analyzing: Finding audio files...");
    EXPECT_EQ(header->scanningRow()->figureText(), "0%");
    EXPECT_TRUE(header->scanningRow()->cancelButton()->isEnabled());

    waitForScan();
    EXPECT_TRUE(header->selectFolderButton()->isEnabled());
    EXPECT_TRUE(header->resetButton()->isEnabled());
    EXPECT_FALSE(header->scanningRow()->isVisible());
}

TEST_F(WindowShellTest, ConvertingHoldsTheButtonsAndRefusesDrops)
{
    stereoWav("Dual.wav", StereoKind::dualMono);
    const fs::path other = stereoWav("Other.wav", StereoKind::leftSilent);
    openWindow();
    chooseLibrary();
    ConversionGate gate(vm());
    click(view().actionBar()->convertButton());
    ASSERT_TRUE(vm().conversionState().isConverting());

    HeaderView* header = view().header();
    EXPECT_FALSE(header->selectFolderButton()->isEnabled());
    EXPECT_FALSE(header->resetButton()->isEnabled());
    EXPECT_FALSE(view().actionBar()->convertButton()->isEnabled());
    EXPECT_TRUE(header->convertingRow()->isVisible());
    EXPECT_EQ(header->convertingRow()->figureText(), "0/2");
    EXPECT_EQ(header->convertingRow()->statusText(), "Converting: ");

    EXPECT_FALSE(dropOnWindow({other}));
    EXPECT_FALSE(vm().scanState().isScanning()) << "a refused drop starts nothing";

    click(header->convertingRow()->cancelButton());
    EXPECT_EQ(vm().conversionState(), ConversionState::idle());
    gate.release();
    waitForConversionToSettle();
    EXPECT_FALSE(vm().errorMessage().has_value());
    EXPECT_TRUE(header->selectFolderButton()->isEnabled());
}

TEST_F(WindowShellTest, DroppedItemsAreScannedAndReplaceARunningScan)
{
    stereoWav("Dual.wav", StereoKind::dualMono);
    const fs::path elsewhere = library / "Elsewhere";
    fs::create_directories(elsewhere);
    const fs::path moved = elsewhere / "Silent.wav";
    writePcm(moved, kPcm16, stereo(StereoKind::rightSilent, 4800, kPcm16.encoding, 99));
    openWindow();
    vm().setFolderChooser([this] { return std::optional<fs::path>(library.path()); });
    click(view().header()->selectFolderButton());
    ASSERT_TRUE(vm().scanState().isScanning());

    EXPECT_TRUE(dropOnWindow({moved}));
    waitForScan();
    ASSERT_EQ(vm().scanResults().size(), 1u) << "only the dropped file's scan publishes";
    EXPECT_EQ(vm().scanResults()[0].fileInfo.filename, "Silent.wav");
    EXPECT_EQ(view().header()->folderText().toStdString(), elsewhere.string());
}

TEST_F(WindowShellTest, DropWithoutAudioShowsTheErrorAlert)
{
    std::ofstream(library / "notes.txt") << "not audio";
    openWindow();
    EXPECT_TRUE(dropOnWindow({library / "notes.txt", library / "missing.wav"}));
    QMessageBox* alert = view().alerts()->errorAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->windowTitle(), "Error");
    EXPECT_EQ(alert->informativeText(),
              "No supported audio files found. Twinfold supports WAV, AIFF, MP3, and M4A files.");
    clickOk(alert);
    EXPECT_FALSE(vm().errorMessage().has_value());
    QCoreApplication::processEvents();
    EXPECT_TRUE(view().isShowingEmptyState());
}

}  // namespace
}  // namespace twinfold::test
