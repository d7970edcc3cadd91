// The view model's fields, derived values, selection, settings, sheets and
// task plumbing. Scanning is in ScanViewModelScan.cpp, converting in
// ScanViewModelConversion.cpp.
#include "workflow/ScanViewModel.h"

#include "conversion/AudioConverterService.h"
#include "scanning/FileScannerService.h"
#include "workflow/SettingsStore.h"
#include "workflow/TaskLink.h"

#include <algorithm>
#include <chrono>

namespace twinfold {

namespace {

double steadySeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

bool isOrdinaryStereo(const ScanResult& r) {
    return r.fileInfo.channelCount == 2 && !r.isDualMono && !r.isPannedMono && !r.isPhaseInverted &&
           r.silentChannel == SilentChannelStatus::none && !r.multichannelAnalysis;
}

}  // namespace

ScanViewModel::ScanViewModel(QObject* parent)
    : QObject(parent),
      settings_(loadAppSettings()),
      fileScanner_(std::make_unique<FileScannerService>()),
      audioConverter_(std::make_shared<AudioConverterService>()),
      clock_(steadySeconds),
      backupTime_([] { return QDateTime::currentDateTime(); }) {
    audioAnalyzer_ = makeAnalyzer();
}

ScanViewModel::~ScanViewModel() {
    if (scanTask_) scanTask_->cancelled->store(true);
    if (conversionTask_) conversionTask_->cancelled->store(true);
    cancelScanServices();
    cancelConverter();
    for (Worker& worker : workers_) {
        if (worker.thread.joinable()) worker.thread.join();
    }
}

// ---- publishing -------------------------------------------------------------

bool ScanViewModel::admitProgress() {
    const double now = clock_();
    if (now - lastProgressUpdate_ < progressThrottleInterval) return false;
    lastProgressUpdate_ = now;
    return true;
}

void ScanViewModel::publishScanProgress(double progress, const std::string& currentFile, ScanState state) {
    state.kind = ScanState::Case::scanning;
    state.progress = progress;
    state.currentFile = currentFile;
    if (admitProgress()) publish(scanState_, std::move(state), &ScanViewModel::scanStateChanged);
}

void ScanViewModel::publishConversionProgress(const ConversionState& state) {
    if (admitProgress()) publish(conversionState_, state, &ScanViewModel::conversionStateChanged);
}

// ---- derived values ---------------------------------------------------------

std::vector<ScanResult> ScanViewModel::dualMonoResults() const {
    return filtered(scanResults_, [](const ScanResult& r) { return r.isDualMono; });
}

std::vector<ScanResult> ScanViewModel::phaseInvertedResults() const {
    return filtered(scanResults_, [](const ScanResult& r) { return r.isPhaseInverted; });
}

std::vector<ScanResult> ScanViewModel::pannedMonoResults() const {
    return filtered(scanResults_, [](const ScanResult& r) { return r.isPannedMono; });
}

std::vector<ScanResult> ScanViewModel::silentChannelResults() const {
    return filtered(scanResults_, [](const ScanResult& r) {
        return r.silentChannel == SilentChannelStatus::left || r.silentChannel == SilentChannelStatus::right;
    });
}

std::vector<ScanResult> ScanViewModel::noAudioContentResults() const {
    return filtered(scanResults_, [](const ScanResult& r) { return r.silentChannel == SilentChannelStatus::both; });
}

std::vector<ScanResult> ScanViewModel::stereoResults() const { return filtered(scanResults_, isOrdinaryStereo); }

std::vector<ScanResult> ScanViewModel::multichannelResults() const {
    return filtered(scanResults_, [](const ScanResult& r) { return r.multichannelAnalysis.has_value(); });
}

std::optional<ScanResult> ScanViewModel::selectedMultichannelResult() const {
    if (selectedResultIDs_.size() != 1) return std::nullopt;
    const Uuid id = *selectedResultIDs_.begin();
    for (const ScanResult& r : scanResults_) {
        if (r.id == id && r.multichannelAnalysis) return r;
    }
    return std::nullopt;
}

std::int64_t ScanViewModel::totalPotentialSavings() const {
    std::int64_t total = 0;
    for (const ScanResult& r : scanResults_) {
        if (r.isConvertible()) total += r.potentialSavings;
    }
    return total;
}

std::vector<ScanResult> ScanViewModel::selectedConvertibleResults() const {
    return filtered(scanResults_,
                    [this](const ScanResult& r) { return selectedResultIDs_.count(r.id) && r.isConvertible(); });
}

bool ScanViewModel::hasConvertibleResults() const {
    return std::any_of(scanResults_.begin(), scanResults_.end(), [](const ScanResult& r) { return r.isConvertible(); });
}

ScanViewModel::ResultCounts ScanViewModel::resultCounts() const {
    ResultCounts c;
    c.total = scanResults_.size();
    for (const ScanResult& r : scanResults_) {
        c.dualMono += r.isDualMono;
        c.pannedMono += r.isPannedMono;
        c.phaseInverted += r.isPhaseInverted;
        c.silentChannel += r.silentChannel == SilentChannelStatus::left || r.silentChannel == SilentChannelStatus::right;
        c.noAudioContent += r.silentChannel == SilentChannelStatus::both;
        c.stereo += isOrdinaryStereo(r);
        c.multichannel += r.multichannelAnalysis.has_value();
        c.unreadable += r.unreadableReason.has_value();
        if (!r.isConvertible()) continue;
        ++c.convertible;
        c.potentialSavings += r.potentialSavings;
        c.selectedConvertible += selectedResultIDs_.count(r.id);
    }
    return c;
}

// ---- selection, order, reset -------------------------------------------------

// Backups and files whose "pan" would discard content of their own are
// left for the user to tick by hand.
void ScanViewModel::selectAllConvertible() {
    std::set<Uuid> ids;
    for (const ScanResult& r : scanResults_) {
        if (r.isSelectedAfterScan()) ids.insert(r.id);
    }
    publish(selectedResultIDs_, std::move(ids), &ScanViewModel::selectedResultIDsChanged);
}

void ScanViewModel::toggleSelection(const Uuid& id) {
    std::set<Uuid> ids = selectedResultIDs_;
    if (ids.erase(id) == 0) {
        const auto it = std::find_if(scanResults_.begin(), scanResults_.end(),
                                     [&](const ScanResult& r) { return r.id == id; });
        if (it == scanResults_.end() || !it->isConvertible()) return;
        ids.insert(id);
    }
    publish(selectedResultIDs_, std::move(ids), &ScanViewModel::selectedResultIDsChanged);
}

void ScanViewModel::setSelectedResultIDs(std::set<Uuid> ids) {
    publish(selectedResultIDs_, std::move(ids), &ScanViewModel::selectedResultIDsChanged);
}

void ScanViewModel::sortResults(const std::function<bool(const ScanResult&, const ScanResult&)>& before) {
    resultOrder_ = before;
    reorderResults(before);
}

// Sorting positions, not records, keeps a large list cheap to re-order.
template <typename Before>
void ScanViewModel::reorderResults(const Before& before) {
    std::vector<std::size_t> order(scanResults_.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return before(scanResults_[a], scanResults_[b]); });
    bool unchanged = true;
    for (std::size_t i = 0; i < order.size() && unchanged; ++i) unchanged = order[i] == i;
    if (unchanged) return;
    std::vector<ScanResult> sorted;
    sorted.reserve(order.size());
    for (std::size_t i : order) sorted.push_back(std::move(scanResults_[i]));
    scanResults_ = std::move(sorted);
    emit scanResultsChanged();
}

// Merges a batch into the list at the places the current order gives it;
// results already listed stay ahead of equal new ones.
void ScanViewModel::insertScanResults(std::vector<ScanResult> batch, const ScanState& progress) {
    std::vector<std::size_t> positions;
    positions.reserve(batch.size());
    if (!resultOrder_) {
        for (ScanResult& result : batch) {
            positions.push_back(scanResults_.size());
            scanResults_.push_back(std::move(result));
        }
    } else {
        std::stable_sort(batch.begin(), batch.end(), resultOrder_);
        std::vector<ScanResult> merged;
        merged.reserve(scanResults_.size() + batch.size());
        auto old = scanResults_.begin();
        for (ScanResult& result : batch) {
            while (old != scanResults_.end() && !resultOrder_(result, *old)) merged.push_back(std::move(*old++));
            positions.push_back(merged.size());
            merged.push_back(std::move(result));
        }
        std::move(old, scanResults_.end(), std::back_inserter(merged));
        scanResults_ = std::move(merged);
    }
    if (!positions.empty()) emit scanResultsInserted(positions);
    publishScanProgress(progress.progress, progress.currentFile, progress);
}

void ScanViewModel::sortResultsByFilename(bool ascending) {
    const auto before = [ascending](const ScanResult& a, const ScanResult& b) {
        return ascending ? a.fileInfo.filename < b.fileInfo.filename : b.fileInfo.filename < a.fileInfo.filename;
    };
    resultOrder_ = before;
    reorderResults(before);  // called directly: a sort of 100,000 rows feels every indirection
}

void ScanViewModel::reset() {
    resultOrder_ = nullptr;
    cancelScanTask();
    cancelConversionTask();
    publish(scanState_, ScanState::idle(), &ScanViewModel::scanStateChanged);
    publish(conversionState_, ConversionState::idle(), &ScanViewModel::conversionStateChanged);
    publish(scanResults_, {}, &ScanViewModel::scanResultsChanged);
    publish(selectedResultIDs_, {}, &ScanViewModel::selectedResultIDsChanged);
    publish(selectedFolderURL_, {}, &ScanViewModel::selectedFolderURLChanged);
    publish(sourceDescription_, {}, &ScanViewModel::sourceDescriptionChanged);
    publish(errorMessage_, {}, &ScanViewModel::errorMessageChanged);
    publish(convertedOriginalURLs_, {}, &ScanViewModel::convertedOriginalURLsChanged);
    publish(pendingPhaseInvertedResults_, {}, &ScanViewModel::pendingPhaseInvertedResultsChanged);
    publish(pendingMultichannelResults_, {}, &ScanViewModel::pendingMultichannelResultsChanged);
}

// ---- settings, sheets, errors -----------------------------------------------

void ScanViewModel::setSettings(const AppSettings& settings) {
    // Only what this change touches is written: the skipped update version,
    // say, may have been stored since this copy was loaded.
    const AppSettings before = settings_;
    updateAppSettings([&](AppSettings& stored) { stored = withChanges(stored, before, settings); });
    publish(settings_, settings, &ScanViewModel::settingsChanged);
}

void ScanViewModel::overrideSettings(const AppSettings& settings) {
    publish(settings_, settings, &ScanViewModel::settingsChanged);
}

void ScanViewModel::setShowLossyFormatNotice(bool show) {
    publish(showLossyFormatNotice_, show, &ScanViewModel::showLossyFormatNoticeChanged);
}

void ScanViewModel::setLossyNoticeAcknowledged(bool acknowledged) {
    publish(lossyNoticeAcknowledged_, acknowledged, &ScanViewModel::lossyNoticeAcknowledgedChanged);
}

void ScanViewModel::acknowledgeLossyFormatNotice(bool dontShowAgain) {
    if (dontShowAgain) setHideLossyFormatNotice(true);
    setLossyNoticeAcknowledged(true);
}

void ScanViewModel::setShowPhaseFixOptions(bool show) {
    publish(showPhaseFixOptions_, show, &ScanViewModel::showPhaseFixOptionsChanged);
}

void ScanViewModel::setSelectedPhaseFixOption(PhaseFixOption option) {
    publish(selectedPhaseFixOption_, option, &ScanViewModel::selectedPhaseFixOptionChanged);
}

void ScanViewModel::setPendingPhaseInvertedResults(std::vector<ScanResult> results) {
    publish(pendingPhaseInvertedResults_, std::move(results), &ScanViewModel::pendingPhaseInvertedResultsChanged);
}

void ScanViewModel::setPhaseFixAcknowledged(bool acknowledged) {
    publish(phaseFixAcknowledged_, acknowledged, &ScanViewModel::phaseFixAcknowledgedChanged);
}

void ScanViewModel::setShowMultichannelOptions(bool show) {
    publish(showMultichannelOptions_, show, &ScanViewModel::showMultichannelOptionsChanged);
}

void ScanViewModel::setSelectedMultichannelOption(MultichannelConversionOption option) {
    publish(selectedMultichannelOption_, option, &ScanViewModel::selectedMultichannelOptionChanged);
}

void ScanViewModel::setPendingMultichannelResults(std::vector<ScanResult> results) {
    publish(pendingMultichannelResults_, std::move(results), &ScanViewModel::pendingMultichannelResultsChanged);
}

void ScanViewModel::setMultichannelAcknowledged(bool acknowledged) {
    publish(multichannelAcknowledged_, acknowledged, &ScanViewModel::multichannelAcknowledgedChanged);
}

QFuture<void> ScanViewModel::lossyFormatNoticeClosed() {
    setShowLossyFormatNotice(false);
    if (!lossyNoticeAcknowledged_) return QtFuture::makeReadyFuture();
    setLossyNoticeAcknowledged(false);
    return convertSelected(true, false, false);
}

QFuture<void> ScanViewModel::phaseFixOptionsClosed() {
    setShowPhaseFixOptions(false);
    if (!phaseFixAcknowledged_) {
        setPendingPhaseInvertedResults({});
        return QtFuture::makeReadyFuture();
    }
    setPhaseFixAcknowledged(false);
    return convertSelected(true, true, false);
}

QFuture<void> ScanViewModel::multichannelOptionsClosed() {
    setShowMultichannelOptions(false);
    if (!multichannelAcknowledged_) {
        setPendingMultichannelResults({});
        return QtFuture::makeReadyFuture();
    }
    setMultichannelAcknowledged(false);
    return convertSelected(true, true, true);
}

void ScanViewModel::dismissError() {
    publish(errorMessage_, {}, &ScanViewModel::errorMessageChanged);
    if (!conversionState_.isConverting()) {
        publish(conversionState_, ConversionState::idle(), &ScanViewModel::conversionStateChanged);
    }
}

// ---- seams --------------------------------------------------------------------

void ScanViewModel::setFolderChooser(FolderChooser chooser) { folderChooser_ = std::move(chooser); }
void ScanViewModel::setClock(Clock clock) { clock_ = std::move(clock); }
void ScanViewModel::setBackupTimeSource(std::function<QDateTime()> now) { backupTime_ = std::move(now); }
void ScanViewModel::setScanHooks(ScanHooks hooks) { scanHooks_ = std::move(hooks); }
void ScanViewModel::setConversionHooks(ConversionHooks hooks) { conversionHooks_ = std::move(hooks); }

// ---- tasks ----------------------------------------------------------------------

ScanViewModel::Task ScanViewModel::launch(std::shared_future<void> predecessor,
                                          std::function<void(const TaskLink&)> body) {
    reapEndedThreads();
    Task task;
    task.cancelled = std::make_shared<std::atomic<bool>>(false);
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    task.finished = promise->future();
    std::promise<void> ended;
    task.ended = ended.get_future().share();
    TaskLink link(*this, task.cancelled, std::move(promise));
    std::thread thread([link = std::move(link), body = std::move(body), predecessor = std::move(predecessor),
                        ended = std::move(ended)]() mutable {
        // The services serve one call at a time: the cancelled predecessor
        // must be out of them before this task starts using them.
        if (predecessor.valid()) predecessor.wait();
        try {
            if (!link.isCancelled()) body(link);
        } catch (...) {
            // Bodies report their own failures; nothing may escape a thread.
        }
        ended.set_value();
    });
    workers_.push_back({std::move(thread), task.ended});
    return task;
}

void ScanViewModel::reapEndedThreads() {
    std::erase_if(workers_, [](Worker& worker) {
        if (worker.ended.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return false;
        worker.thread.join();
        return true;
    });
}

}  // namespace twinfold
