#pragma once

// A view model on a temporary settings store and a temporary library
// folder, with writers for the kinds of files the scanner classifies and
// helpers to wait for the view model's futures.

#include "QtTestHelpers.h"
#include "support/CompressedFixtures.h"
#include "support/FileTree.h"
#include "support/PcmFixtures.h"
#include "support/PcmRewrite.h"
#include "support/TempDir.h"
#include "workflow/ScanViewModel.h"
#include "workflow/SettingsStore.h"

#include <algorithm>
#include <atomic>
#include <future>
#include <memory>
#include <optional>
#include <set>
#include <tuple>

namespace twinfold::test {

namespace fs = std::filesystem;

class WorkflowFixture : public ::testing::Test {
protected:
    WorkflowFixture() {
        setSettingsStoreFile(QString::fromStdString((settingsDir / "settings.ini").string()));
        vm = std::make_unique<ScanViewModel>(settingsStore);
        // Every progress report is shown unless a test installs its own clock.
        vm->setClock([t = 0.0]() mutable { return t += 1.0; });
        QObject::connect(vm.get(), &ScanViewModel::scanStateChanged, [this] { scanStates.push_back(vm->scanState()); });
        QObject::connect(vm.get(), &ScanViewModel::conversionStateChanged,
                         [this] { conversionStates.push_back(vm->conversionState()); });
    }
    ~WorkflowFixture() override {
        vm.reset();
        setSettingsStoreFile({});
    }

    // A 16-bit stereo WAV of the given kind; the seed makes every file distinct.
    fs::path wav(const fs::path& path, StereoKind kind, std::size_t frames = 4800) {
        fs::create_directories(path.parent_path());
        writePcm(path, kPcm16, stereo(kind, frames, PcmEncoding::int16, ++seed_));
        return path;
    }

    // Over the default settings, which no test here changes.
    void setPolicy(OriginalFileHandling policy) { vm->overrideSettings({.originalFileHandling = policy}); }

    // Every question a conversion may ask, answered yes (left channel, every channel split).
    static ConversionAnswers allAnswered() {
        return {PhaseFixOption::useLeft, MultichannelConversionOption::splitAllToMono, true, true};
    }
    QFuture<void> convertSelected(ConversionAnswers answers = allAnswered()) {
        return vm->convert({vm->selectedResultIDs(), answers});
    }

    void scan(const std::vector<fs::path>& items) { finished(vm->scanDroppedItems(items)); }
    void scanFolder() { scan({dir.path()}); }

    std::vector<std::string> resultNames() const {
        std::vector<std::string> names;
        for (const ScanResult& r : vm->scanResults()) names.push_back(r.fileInfo.filename);
        return names;
    }

    static constexpr PcmFormat kPcm16{PcmContainer::wav, PcmEncoding::int16, 48000};

    TempDir settingsDir;
    TempDir dir;
    SettingsStore settingsStore;
    std::unique_ptr<ScanViewModel> vm;
    std::vector<ScanState> scanStates;
    std::vector<ConversionState> conversionStates;

private:
    std::uint32_t seed_ = 0;
};

}  // namespace twinfold::test
