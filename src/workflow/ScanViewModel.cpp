// The view model's fields, derived values, selection, settings and
// task plumbing. Scanning is in ScanViewModelScan.cpp, converting in
// ScanViewModelConversion.cpp.
#include "workflow/ScanViewModel.h"

#include "conversion/AudioConverterService.h"
#include "scanning/FileScannerService.h"
#include "workflow/TaskLink.h"

#include <algorithm>
#include <chrono>

namespace twinfold {

namespace {

double steadySeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

ScanViewModel::ScanViewModel(SettingsService& settings, QObject* parent)
    : QObject(parent),
      settingsService_(settings),
      settings_(settings.current()),
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
    // Before any service goes: a worker may still be inside one.
    threads_.joinAll();
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

// ---- selection, order, reset -------------------------------------------------

void ScanViewModel::publishSelection(std::set<Uuid> ids) {
    if (results_.setSelection(std::move(ids))) emit selectedResultIDsChanged();
}

void ScanViewModel::selectAllConvertible() {
    if (results_.selectAllConvertible()) emit selectedResultIDsChanged();
}

void ScanViewModel::toggleSelection(const Uuid& id) {
    if (results_.toggle(id)) emit selectedResultIDsChanged();
}

void ScanViewModel::setSelectedResultIDs(std::set<Uuid> ids) { publishSelection(std::move(ids)); }

void ScanViewModel::sortResults(const std::function<bool(const ScanResult&, const ScanResult&)>& before) {
    if (results_.sort(before)) emit scanResultsChanged();
}

void ScanViewModel::sortResultsByFilename(bool ascending) {
    if (results_.sortByFilename(ascending)) emit scanResultsChanged();
}

void ScanViewModel::insertScanResults(std::vector<ScanResult>& batch, const ScanState& progress) {
    results_.reserve(progress.filesTotal);
    const std::vector<std::size_t> positions = results_.insert(batch);
    if (!positions.empty()) emit scanResultsInserted(positions);
    publishScanProgress(progress.progress, progress.currentFile, progress);
}

void ScanViewModel::reset() {
    results_.forgetOrder();
    cancelScanTask();
    cancelConversionTask();
    publish(scanState_, ScanState::idle(), &ScanViewModel::scanStateChanged);
    publish(conversionState_, ConversionState::idle(), &ScanViewModel::conversionStateChanged);
    if (results_.clearResults()) emit scanResultsChanged();
    publishSelection({});
    publish(selectedFolderPath_, {}, &ScanViewModel::selectedFolderPathChanged);
    publish(sourceDescription_, {}, &ScanViewModel::sourceDescriptionChanged);
    publish(errorMessage_, {}, &ScanViewModel::errorMessageChanged);
    publish(convertedOriginalPaths_, {}, &ScanViewModel::convertedOriginalPathsChanged);
}

// ---- settings, errors -----------------------------------------------

void ScanViewModel::setSettings(const AppSettings& settings) {
    // Only what this change touches is written: the skipped update version,
    // say, may have been stored since this copy was loaded.
    const AppSettings before = settings_;
    settingsService_.update([&](AppSettings& stored) { stored = withChanges(stored, before, settings); });
    publish(settings_, settings, &ScanViewModel::settingsChanged);
}

void ScanViewModel::overrideSettings(const AppSettings& settings) {
    publish(settings_, settings, &ScanViewModel::settingsChanged);
}

bool ScanViewModel::lossyNoticeHidden() const { return settingsService_.hideLossyFormatNotice(); }

void ScanViewModel::setLossyNoticeHidden(bool hidden) { settingsService_.setHideLossyFormatNotice(hidden); }

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
    Task task;
    task.cancelled = std::make_shared<std::atomic<bool>>(false);
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    task.finished = promise->future();
    TaskLink link(*this, task.cancelled, std::move(promise));
    task.ended = threads_.start(std::move(predecessor), [link = std::move(link), body = std::move(body)] {
        if (!link.isCancelled()) body(link);
    });
    return task;
}

}  // namespace twinfold
