// The scan half of the view model: what is scanned, the scan task on its
// worker thread, and the publication of its progress and results.
#include "workflow/ScanViewModel.h"

#include "analysis/AudioAnalyzerService.h"
#include "scanning/FileScannerService.h"
#include "workflow/TaskLink.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

namespace twinfold {

namespace fs = std::filesystem;

namespace {

// The absolute, normalised form of a path, without a trailing separator (no
// symbolic links are resolved). Two paths name the same file when these are
// equal.
fs::path standardized(const fs::path& path) {
    std::error_code ignored;
    fs::path normal = fs::absolute(path, ignored).lexically_normal();
    if (normal.has_relative_path() && normal.filename().empty()) normal = normal.parent_path();
    return normal;
}

std::vector<fs::path> withoutDuplicates(const std::vector<fs::path>& urls) {
    std::unordered_set<std::string> seen;
    std::vector<fs::path> unique;
    for (const fs::path& url : urls) {
        if (seen.insert(standardized(url).string()).second) unique.push_back(url);
    }
    return unique;
}

bool isSupportedFile(const fs::path& path) {
    const std::string name = path.filename().string();
    return hasSupportedExtension(name);
}

}  // namespace

std::shared_ptr<AudioAnalyzerService> ScanViewModel::makeAnalyzer() const {
    const float linearThreshold = std::pow(10.0f, settings_.silenceThresholddBFS / 20.0f);
    return std::make_shared<AudioAnalyzerService>(linearThreshold, AudioAnalyzerService::defaultChunkSize);
}

void ScanViewModel::cancelScanServices() {
    fileScanner_->cancel();
    audioAnalyzer_->cancel();
}

void ScanViewModel::cancelScanTask() {
    if (scanTask_) scanTask_->cancelled->store(true);
    scanTask_.reset();
    cancelScanServices();
}

// ---- operations ------------------------------------------------------------

QFuture<void> ScanViewModel::selectFolder() {
    if (!folderChooser_) return QtFuture::makeReadyFuture();
    const std::optional<Path> folder = folderChooser_();
    if (!folder) return QtFuture::makeReadyFuture();
    publish(selectedFolderURL_, folder, &ScanViewModel::selectedFolderURLChanged);
    publish(sourceDescription_, {}, &ScanViewModel::sourceDescriptionChanged);
    return startScan();
}

QFuture<void> ScanViewModel::startScan() {
    if (!selectedFolderURL_) return QtFuture::makeReadyFuture();
    beginScan();
    return launchScan({{}, {*selectedFolderURL_}, nullptr, nullptr});
}

QFuture<void> ScanViewModel::cancelScan() {
    QFuture<void> ended = scanTask_ ? scanTask_->finished : QtFuture::makeReadyFuture();
    cancelScanTask();
    publish(scanState_, ScanState::idle(), &ScanViewModel::scanStateChanged);
    return ended;
}

QFuture<void> ScanViewModel::scanDroppedItems(const std::vector<Path>& urls) {
    ScanSources sources;
    for (const Path& dropped : urls) {
        // Relative paths (from a command line) become absolute here, so the
        // folder shown, rescanned and backed up into does not depend on the
        // working directory later.
        const Path url = standardized(dropped);
        std::error_code error;
        const fs::file_status status = fs::status(url, error);
        if (error || !fs::exists(status)) continue;
        if (fs::is_directory(status)) sources.folders.push_back(url);
        else if (isSupportedFile(url)) sources.files.push_back(url);
    }
    if (sources.folders.empty() && sources.files.empty()) {
        publish(errorMessage_, std::optional<std::string>(noSupportedFilesMessage), &ScanViewModel::errorMessageChanged);
        return QtFuture::makeReadyFuture();
    }
    if (scanState_.isScanning()) cancelScan();
    beginScan();
    const std::size_t items = sources.folders.size() + sources.files.size();
    std::optional<Path> folder;
    std::optional<std::string> description;
    if (sources.folders.size() == 1 && sources.files.empty()) folder = sources.folders.front();
    else if (!sources.folders.empty()) description = std::to_string(items) + " items dropped";
    else folder = sources.files.front().parent_path();
    publish(selectedFolderURL_, std::move(folder), &ScanViewModel::selectedFolderURLChanged);
    publish(sourceDescription_, std::move(description), &ScanViewModel::sourceDescriptionChanged);
    return launchScan(std::move(sources));
}

// Cancels the running scan and shows a fresh one starting, with an analyser
// built from the current silence threshold. The rescan after a conversion
// keeps that conversion's outcome on show.
void ScanViewModel::beginScan(bool keepOutcome) {
    if (!keepOutcome) publish(lastConversionOutcome_, {}, &ScanViewModel::lastConversionOutcomeChanged);
    cancelScanTask();
    publish(scanResults_, {}, &ScanViewModel::scanResultsChanged);
    publish(selectedResultIDs_, {}, &ScanViewModel::selectedResultIDsChanged);
    publish(scanState_, ScanState::scanning(0, findingFilesText), &ScanViewModel::scanStateChanged);
    publish(conversionState_, ConversionState::idle(), &ScanViewModel::conversionStateChanged);
    publish(errorMessage_, {}, &ScanViewModel::errorMessageChanged);
    audioAnalyzer_ = makeAnalyzer();
}

QFuture<void> ScanViewModel::launchScan(ScanSources sources) {
    sources.scanner = fileScanner_.get();
    sources.analyzer = audioAnalyzer_;
    sources.hooks = scanHooks_;
    scanTask_ = launch(lastScanEnded_, [sources = std::move(sources)](const TaskLink& link) {
        scanTaskBody(link, sources);
    });
    lastScanEnded_ = scanTask_->ended;
    return scanTask_->finished;
}

// ---- the scan task (worker thread) ---------------------------------------------
//
// The scanner and the analyser clear their own cancellation flags when a
// listing or batch starts, so a cancel that lands between this task's start
// and that moment would be lost on them. Every call therefore also gets the
// task's token, which they test with their flags and never clear.

void ScanViewModel::scanTaskBody(const TaskLink& link, const ScanSources& sources) {
    FileScannerService& scanner = *sources.scanner;
    const ScanProgress found = [&](std::size_t count, const std::string&) {
        link.post([line = "Found " + std::to_string(count) + " files..."](ScanViewModel& vm) {
            vm.publishScanProgress(0, line);
        });
    };
    try {
        std::vector<Path> urls = sources.files;
        for (const Path& folder : sources.folders) {
            if (sources.hooks.beforeListing) sources.hooks.beforeListing(folder);
            std::vector<Path> listed = scanner.scanDirectory(folder, found, &link.token());
            if (link.isCancelled()) return;
            urls.insert(urls.end(), listed.begin(), listed.end());
        }
        analyzeFiles(link, sources, withoutDuplicates(urls));
    } catch (const std::exception& error) {
        if (link.isCancelled()) return;
        link.finish([message = std::string(error.what())](ScanViewModel& vm) {
            vm.publish(vm.scanState_, ScanState::failed(message), &ScanViewModel::scanStateChanged);
            vm.publish(vm.errorMessage_, std::optional(message), &ScanViewModel::errorMessageChanged);
        });
    }
}

// Single files first, in groups of 4, then the split pairs, in groups of 4;
// each group's results in the order they finished.
void ScanViewModel::analyzeFiles(const TaskLink& link, const ScanSources& sources, std::vector<Path> urls) {
    auto complete = [](ScanViewModel& vm) {
        vm.publish(vm.scanState_, ScanState::completed(), &ScanViewModel::scanStateChanged);
    };
    if (urls.empty()) return link.finish(complete);
    const SplitStereoPairResult split = FileScannerService::findSplitStereoPairs(urls);
    const std::size_t unpaired = split.unpaired.size();
    const double total = double(unpaired + split.pairs.size());
    if (link.isCancelled()) return;
    AudioAnalyzerService& analyzer = *sources.analyzer;
    auto reporter = [&](std::size_t before) {
        return [&, before](std::size_t resultsSoFar, std::size_t, const std::string& filename) {
            link.post([progress = double(before + resultsSoFar) / total, filename](ScanViewModel& vm) {
                vm.publishScanProgress(progress, filename);
            });
        };
    };
    if (sources.hooks.beforeAnalysis) sources.hooks.beforeAnalysis();
    std::vector<ScanResult> results;
    if (unpaired > 0)
        results = analyzer.analyzeBatch(split.unpaired, AudioAnalyzerService::defaultMaxConcurrent, reporter(0),
                                        &link.token());
    if (link.isCancelled()) return;
    if (!split.pairs.empty()) {
        std::vector<std::pair<Path, Path>> pairs;
        for (const SplitStereoPair& pair : split.pairs) pairs.emplace_back(pair.left, pair.right);
        auto pairResults = analyzer.analyzeSplitPairBatch(pairs, AudioAnalyzerService::defaultMaxConcurrent,
                                                          reporter(unpaired), &link.token());
        results.insert(results.end(), pairResults.begin(), pairResults.end());
    }
    if (link.isCancelled()) return;
    link.finish([results = std::move(results), complete](ScanViewModel& vm) mutable {
        vm.publish(vm.scanResults_, std::move(results), &ScanViewModel::scanResultsChanged);
        complete(vm);
        vm.selectAllConvertible();
    });
}

}  // namespace twinfold
