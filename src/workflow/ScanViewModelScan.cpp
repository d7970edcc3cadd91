// The scan half of the view model: what is scanned, the scan task on its
// worker thread, and the publication of its progress and results.
#include "workflow/ScanViewModel.h"

#include "analysis/AudioAnalyzerService.h"
#include "scanning/FileScannerService.h"
#include "scanning/LibraryScan.h"
#include "workflow/TaskLink.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>

namespace twinfold {

namespace fs = std::filesystem;

namespace {

LibraryScanOptions libraryOptions(const ScanViewModel::ScanOptions& options, float silenceThreshold) {
    LibraryScanOptions library;
    library.silenceThresholdLinear = silenceThreshold;
    library.jobs = options.jobs;
    library.useCache = options.useCache;
    if (options.cacheFile) library.cacheFile = *options.cacheFile;
    library.cacheSettleTime =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(options.cacheSettleSeconds));
    return library;
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
    publish(selectedFolderPath_, folder, &ScanViewModel::selectedFolderPathChanged);
    publish(sourceDescription_, {}, &ScanViewModel::sourceDescriptionChanged);
    return startScan();
}

QFuture<void> ScanViewModel::startScan() {
    if (!selectedFolderPath_) return QtFuture::makeReadyFuture();
    beginScan();
    return launchScan({{}, {*selectedFolderPath_}, nullptr, nullptr});
}

QFuture<void> ScanViewModel::cancelScan() {
    QFuture<void> ended = scanTask_ ? scanTask_->finished : QtFuture::makeReadyFuture();
    cancelScanTask();
    publish(scanState_, ScanState::idle(), &ScanViewModel::scanStateChanged);
    return ended;
}

QFuture<void> ScanViewModel::scanDroppedItems(const std::vector<Path>& paths) {
    ScanSources sources;
    for (const Path& dropped : paths) {
        // Relative paths (from a command line) become absolute here, so the
        // folder shown, rescanned and backed up into does not depend on the
        // working directory later.
        const Path path = standardizedPath(dropped);
        std::error_code error;
        const fs::file_status status = fs::status(path, error);
        if (error || !fs::exists(status)) continue;
        if (fs::is_directory(status))
            sources.folders.push_back(path);
        else if (isSupportedFile(path))
            sources.files.push_back(path);
    }
    if (sources.folders.empty() && sources.files.empty()) {
        publish(errorMessage_, std::optional<std::string>(noSupportedFilesMessage),
                &ScanViewModel::errorMessageChanged);
        return QtFuture::makeReadyFuture();
    }
    if (scanState_.isScanning()) cancelScan();
    beginScan();
    const std::size_t items = sources.folders.size() + sources.files.size();
    std::optional<Path> folder;
    std::optional<std::string> description;
    if (sources.folders.size() == 1 && sources.files.empty())
        folder = sources.folders.front();
    else if (!sources.folders.empty())
        description = std::to_string(items) + " items dropped";
    else
        folder = sources.files.front().parent_path();
    publish(selectedFolderPath_, std::move(folder), &ScanViewModel::selectedFolderPathChanged);
    publish(sourceDescription_, std::move(description), &ScanViewModel::sourceDescriptionChanged);
    return launchScan(std::move(sources));
}

// Cancels the running scan and shows a fresh one starting, with an analyser
// built from the current silence threshold. The rescan after a conversion
// keeps that conversion's outcome on show.
void ScanViewModel::beginScan(bool keepOutcome) {
    if (!keepOutcome) publish(lastConversionOutcome_, {}, &ScanViewModel::lastConversionOutcomeChanged);
    cancelScanTask();
    if (results_.clearResults()) emit scanResultsChanged();
    publishSelection({});
    publish(scanState_, ScanState::scanning(0, findingFilesText), &ScanViewModel::scanStateChanged);
    publish(conversionState_, ConversionState::idle(), &ScanViewModel::conversionStateChanged);
    publish(errorMessage_, {}, &ScanViewModel::errorMessageChanged);
    audioAnalyzer_ = makeAnalyzer();
}

QFuture<void> ScanViewModel::launchScan(ScanSources sources) {
    sources.scanner = fileScanner_.get();
    sources.analyzer = audioAnalyzer_;
    sources.hooks = scanHooks_;
    sources.options = scanOptions_;
    scanTask_ =
        launch(lastScanEnded_, [sources = std::move(sources)](const TaskLink& link) { scanTaskBody(link, sources); });
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
    // The count goes to the GUI thread at most once per batch interval: a
    // queued call per file found would cost more than the listing itself.
    std::chrono::steady_clock::time_point lastCount{};
    const ScanProgress found = [&](std::size_t count, const std::string&) {
        const auto now = std::chrono::steady_clock::now();
        if (now - lastCount < std::chrono::duration<double>(resultBatchInterval)) return;
        lastCount = now;
        link.post([line = "Found " + std::to_string(count) + " files..."](ScanViewModel& vm) {
            vm.publishScanProgress(0, line);
        });
    };
    try {
        const LibraryScanOptions options = libraryOptions(sources.options, sources.analyzer->silenceThresholdLinear());
        const std::unique_ptr<AnalysisCache> cache = openAnalysisCache(options);
        std::vector<Path> paths = listSources(scanner, sources.files, sources.folders, cache.get(), found,
                                              &link.token(), sources.hooks.beforeListing);
        if (link.isCancelled()) return;
        analyzeFiles(link, sources, withoutDuplicatePaths(std::move(paths)), cache.get());
    } catch (const std::exception& error) {
        if (link.isCancelled()) return;
        link.finish([message = std::string(error.what())](ScanViewModel& vm) {
            vm.publish(vm.scanState_, ScanState::failed(message), &ScanViewModel::scanStateChanged);
            vm.publish(vm.errorMessage_, std::optional(message), &ScanViewModel::errorMessageChanged);
        });
    }
}

namespace {

// Results gathered on the analysis workers and handed to the GUI thread in
// batches, one per interval or sooner once large: enough to fill the table
// as it goes, few enough that 100,000 results do not flood the event loop. A batch's
// vector comes back empty once its results are listed and takes a later
// batch: memory already touched is reused instead of fresh pages faulted in
// for every batch (a fault costs more than the copy that fills the page).
class ResultStream {
public:
    using Clock = std::chrono::steady_clock;
    using Batch = std::vector<ScanResult>;
    // The emptied batch kept for reuse; shared with the posted batches,
    // which may be listed after the scan (and this stream) has ended.
    struct Spare {
        std::mutex mutex;
        Batch batch;
        void giveBack(Batch emptied) {
            std::lock_guard lock(mutex);
            if (emptied.capacity() > batch.capacity()) batch = std::move(emptied);
        }
        Batch take() {
            std::lock_guard lock(mutex);
            return std::exchange(batch, {});
        }
    };
    using Post = std::function<void(Batch, ScanState, std::shared_ptr<Spare>)>;

    ResultStream(std::size_t total, Post post) : total_(total), post_(std::move(post)) { pending_.reserve(total); }

    void add(ScanResult result) {
        std::lock_guard lock(mutex_);
        ++done_;
        bytes_ += double(std::max<std::int64_t>(result.fileInfo.fileSize, 0));
        pending_.push_back(std::move(result));
        // A large batch goes at once, so the GUI thread lists results while
        // the workers go on instead of taking them all after the last; each
        // at least a quarter of what is done, so their number stays small.
        const bool large = pending_.size() >= std::max<std::size_t>(minimumLargeBatch, done_ / 4);
        if (large || Clock::now() - lastPost_ >= std::chrono::duration<double>(ScanViewModel::resultBatchInterval))
            postLocked();
    }
    // The rest, before the scan reports its end.
    void flush() {
        std::lock_guard lock(mutex_);
        if (!pending_.empty()) postLocked();
    }

private:
    void postLocked() {
        lastPost_ = Clock::now();
        const double elapsed = std::chrono::duration<double>(lastPost_ - start_).count();
        ScanState state;
        state.filesDone = std::min(done_, total_);
        state.filesTotal = total_;
        state.progress = total_ ? double(state.filesDone) / double(total_) : 1.0;
        state.currentFile = pending_.back().fileInfo.filename;
        state.bytesPerSecond = elapsed > 0 ? bytes_ / elapsed : 0;
        if (state.filesDone > 0 && elapsed > 0.5)
            state.secondsLeft = elapsed * double(total_ - state.filesDone) / double(state.filesDone);
        // Room for every result still to come costs address space only: a
        // batch never grows through a chain of copies.
        Batch next = spare_->take();
        if (next.capacity() == 0) next.reserve(total_ - state.filesDone);
        post_(std::exchange(pending_, std::move(next)), std::move(state), spare_);
    }

    static constexpr std::size_t minimumLargeBatch = 1024;
    const std::size_t total_;
    Post post_;
    std::mutex mutex_;
    Batch pending_;
    const std::shared_ptr<Spare> spare_ = std::make_shared<Spare>();
    std::size_t done_ = 0;
    double bytes_ = 0;
    const Clock::time_point start_ = Clock::now();
    Clock::time_point lastPost_{};
};

}  // namespace

// Single files first, then the split pairs, on a pool of workers; results
// are published as they finish and selected once the scan has completed.
void ScanViewModel::analyzeFiles(const TaskLink& link, const ScanSources& sources, std::vector<Path> paths,
                                 AnalysisCache* cache) {
    auto complete = [](ScanViewModel& vm) {
        vm.publish(vm.scanState_, ScanState::completed(), &ScanViewModel::scanStateChanged);
    };
    if (paths.empty()) return link.finish(complete);
    std::vector<CacheItem> items = analysisItems(std::move(paths));
    if (link.isCancelled()) return;
    AudioAnalyzerService& analyzer = *sources.analyzer;
    const LibraryScanOptions options = libraryOptions(sources.options, analyzer.silenceThresholdLinear());
    ResultStream stream(
        items.size(), [&link](ResultStream::Batch batch, ScanState state, std::shared_ptr<ResultStream::Spare> spare) {
            link.post([batch = std::move(batch), state = std::move(state), spare](ScanViewModel& vm) mutable {
                vm.insertScanResults(batch, state);
                spare->giveBack(std::move(batch));
            });
        });
    if (sources.hooks.beforeAnalysis) sources.hooks.beforeAnalysis();
    analyzer.analyzeQueue(
        std::move(items), {options.jobs, cache}, [&](ScanResult result) { stream.add(std::move(result)); },
        &link.token());
    if (sources.hooks.afterAnalysis) sources.hooks.afterAnalysis(analyzer.filesOpened());
    if (link.isCancelled()) return;
    stream.flush();
    link.finish([complete](ScanViewModel& vm) {
        complete(vm);
        vm.selectAllConvertible();
    });
}

}  // namespace twinfold
