#pragma once

// One window on its own settings store, its own library folder and a local
// update server, with writers for the files it scans and helpers to drive
// it through its real widgets.

#include "QtTestHelpers.h"
#include "TestHttpServer.h"

#include "support/CompressedFixtures.h"
#include "support/PcmFixtures.h"
#include "support/TempDir.h"
#include "ui/ActionBar.h"
#include "ui/HeaderView.h"
#include "ui/MainView.h"
#include "ui/MainWindow.h"
#include "updates/UpdateViewModel.h"
#include "workflow/ScanViewModel.h"
#include "workflow/SettingsStore.h"

#include <QAction>
#include <QPushButton>
#include <QTest>

#include <set>

namespace twinfold::test {

namespace fs = std::filesystem;

inline const PcmFormat kPcm16{PcmContainer::wav, PcmEncoding::int16, 48000};

class WindowFixture : public ::testing::Test {
protected:
    WindowFixture();
    ~WindowFixture() override;

    // Builds (and shows) the window; settings stored before this are the
    // ones it starts with.
    void openWindow();

    MainWindow& window() { return *window_; }
    MainView& view() { return *window_->mainView(); }
    ScanViewModel& vm() { return view().viewModel(); }
    UpdateViewModel& updateVM() { return *updateVM_; }

    // Files in the library folder.
    fs::path wav(const std::string& name, const Channels& channels, const PcmFormat& format = kPcm16);
    fs::path stereoWav(const std::string& name, StereoKind kind, const PcmFormat& format = kPcm16,
                       std::size_t frames = 4800) {
        return wav(name, stereo(kind, frames, format.encoding, ++seed_), format);
    }
    fs::path monoWav(const std::string& name) { return wav(name, {noise(4800, kPcm16.encoding, ++seed_)}); }
    fs::path multichannelWav(const std::string& name, const ChannelPlan& plan) {
        return wav(name, multichannel(plan, 4800, kPcm16.encoding, ++seed_));
    }

    // "Select Folder" with the chooser answering the library folder, then waits for the scan.
    void chooseLibrary();
    void openAndScan() {
        openWindow();
        chooseLibrary();
    }
    void waitForScan() {
        ASSERT_TRUE(processEventsUntil([this] { return vm().scanState().kind == ScanState::Case::completed; }))
            << "the scan did not complete";
    }
    void waitForConversionToSettle();
    void waitForUpdateCheck(qsizetype requests);

    void click(QAbstractButton* button);
    // The button of the question before originals are deleted that deletes them, or null.
    QAbstractButton* deleteOriginalsButton();
    // Drags the items over the window and drops them; true when the drop was taken.
    bool dropOnWindow(const std::vector<fs::path>& items);
    // Files directly in the library folder, by name.
    std::set<std::string> libraryFiles();
    // The row of the result whose file has this name, or -1.
    int rowOf(const std::string& filename);
    const ScanResult& resultNamed(const std::string& filename);
    void clickCell(int row, int column, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

    TempDir settingsDir;
    TempDir library;
    TestHttpServer server;

private:
    SettingsStore settings_;
    std::unique_ptr<UpdateViewModel> updateVM_;
    std::unique_ptr<MainWindow> window_;
    std::uint32_t seed_ = 0;
};

}  // namespace twinfold::test
