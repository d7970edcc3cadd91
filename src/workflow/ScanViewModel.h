#pragma once

// ScanViewModel: the state and operations behind the main window and the
// command-line front end: choosing what to scan, the scan itself, the
// results and their selection, the conversion and the questions it asks,
// the proof that outputs are right, and the originals afterwards.
//
// It publishes and sequences; the jobs themselves live beside it: the
// results and selection in ResultList, the questions before a conversion in
// ConversionQuestions, the threads in WorkerThreads, scanning in
// ScanViewModelScan.cpp, converting and the originals in
// ScanViewModelConversion.cpp.
//
// How a front end drives it
// -------------------------
// Create one on the GUI (main) thread of a running Q(Core)Application and
// keep it. Everything below is called on that thread; long work runs on
// worker threads and comes back as queued calls, so the event loop must run.
//
// * Read state through the getters. Each published field has a signal named
//   <field>Changed() that fires (on the GUI thread) after the field changed;
//   re-read the getter then. Derived values (resultCounts(), …) are
//   computed on every call from scanResults and selectedResultIDs, which
//   live in a ResultList.
// * Scanning: scanDroppedItems(paths) for files/folders (the command line's
//   PATH arguments go here too), selectFolder() with a chooser installed by
//   setFolderChooser() (the window's dialog), startScan() to rescan.
//   cancelScan() stops. Each returns a QFuture<void> that finishes once the
//   task has ended and everything it published has arrived; a cancelled or
//   superseded task's future finishes as cancelled. To wait without blocking
//   the event loop, use a QFutureWatcher (or spin the loop until isFinished()).
// * Results stream in while the scan runs: each batch (at most every
//   resultBatchInterval) is put into scanResults at its place in the order
//   last given to sortResults (at the end without one) and announced by
//   scanResultsInserted; scanResultsChanged means the whole list changed.
//   The scanning state counts files done / total, with bytes per second and
//   the time left. Scans use the analysis cache unless scanOptions say not.
// * After a completed scan every convertible result is selected. The table
//   calls toggleSelection(id) for a row's check mark and setSelectedResultIDs()
//   for its row selection; it sorts its rows itself and leaves the list's
//   order (sortResults, for the command line) alone.
// * Converting: questionsFor(selection) lists what the user must answer
//   first (the lossy-format notice, the phase and multichannel choices, the
//   deletion of originals), in the order to ask. The front end asks them
//   (the window as dialogs; the command line from its options and its
//   confirmation) and calls convert() with the selection and the answers; a
//   request missing a needed answer is refused with an error, nothing is
//   written. Progress appears in conversionState
//   (converting: item n of total; then, when the originals will be moved or
//   deleted, "Verifying <source name>" with n/total counting the sources
//   read back); cancelConversion() stops. On success conversionState becomes
//   completed(outputs); when a folder is set, the rescan that follows sets it
//   back to idle, so a front end that wants the outputs records them from
//   conversionStateChanged. The future of the call that started the
//   conversion finishes after the originals were handled and the rescan ended.
// * Everything a conversion uses (settings, the answers, the folder for the
//   backup) is fixed when it starts.
// * Settings: setSettings() publishes and saves (the window's settings rows);
//   overrideSettings() publishes without saving (per-run command-line options).
// * Errors arrive in errorMessage (and failed states); dismissError() is the
//   alert's "OK".

#include "records/AppSettings.h"
#include "records/SettingsService.h"
#include "records/ScanResult.h"
#include "records/Uuid.h"
#include "conversion/ConversionOptions.h"
#include "conversion/ConversionPlan.h"
#include "workflow/ConversionQuestions.h"
#include "workflow/ResultList.h"
#include "workflow/WorkerThreads.h"
#include "workflow/WorkflowStates.h"

#include <QDateTime>
#include <QFuture>
#include <QObject>
#include <QPointer>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

template <typename T>
class QPromise;

namespace twinfold {

class AnalysisCache;
class AudioAnalyzerService;
class AudioConverterService;
class FileScannerService;
struct SourceProof;

class ScanViewModel : public QObject {
    Q_OBJECT

public:
    using Path = std::filesystem::path;
    // Asks the user for a folder; nothing when the user cancels.
    using FolderChooser = std::function<std::optional<Path>()>;
    // Seconds on any monotonic scale; used only to space progress updates.
    using Clock = std::function<double()>;

    // Test seams of the scan task, called on its worker thread.
    struct ScanHooks {
        // Just before the scanner is asked to list each folder.
        std::function<void(const Path& folder)> beforeListing;
        // Just before the analyser is given the files.
        std::function<void()> beforeAnalysis;
        // When the analysis has ended, with the number of audio files it opened.
        std::function<void(std::uint64_t filesOpened)> afterAnalysis;
    };
    // Test seams of the conversion task, called on its worker thread.
    struct ConversionHooks {
        // Before each converter call, with the (first) result it converts.
        std::function<void(const ScanResult&)> beforeConverterCall;
        // After the last output was written, before any is read back.
        std::function<void(const std::vector<Path>& outputs)> beforeVerification;
    };

    // How the scan analyses: workers, and the analysis cache.
    struct ScanOptions {
        int jobs = 0;  // 0: one per core
        bool useCache = true;
        std::optional<Path> cacheFile;  // default: defaultAnalysisCacheFile()
        // Files changed this recently are analysed but not cached.
        double cacheSettleSeconds = 3;
        // The window shows the folder as a conversion left it; a one-shot
        // command ends with the conversion and need not read it again.
        bool rescanAfterConversion = true;
    };

    static constexpr double progressThrottleInterval = 0.05;
    static constexpr double resultBatchInterval = 0.1;
    static constexpr const char* noSupportedFilesMessage =
        "No supported audio files found. Twinfold supports WAV, AIFF, MP3, and M4A files.";
    static constexpr const char* findingFilesText = "Finding audio files...";

    // `settings` is read once here and changed through setSettings; it must
    // outlive the view model.
    explicit ScanViewModel(SettingsService& settings, QObject* parent = nullptr);
    // Cancels both tasks and waits for their threads; nothing they were
    // doing is published any more.
    ~ScanViewModel() override;

    // ---- published fields ----
    const std::optional<Path>& selectedFolderPath() const { return selectedFolderPath_; }
    const ScanState& scanState() const { return scanState_; }
    const std::vector<ScanResult>& scanResults() const { return results_.results(); }
    const std::set<Uuid>& selectedResultIDs() const { return results_.selection(); }
    const ConversionState& conversionState() const { return conversionState_; }
    const AppSettings& settings() const { return settings_; }
    const std::optional<std::string>& errorMessage() const { return errorMessage_; }
    // Set when a conversion ends; kept through the rescan that follows it,
    // cleared when the user starts another scan or conversion.
    const std::optional<ConversionOutcome>& lastConversionOutcome() const { return lastConversionOutcome_; }
    const std::vector<Path>& convertedOriginalPaths() const { return convertedOriginalPaths_; }
    const std::optional<std::string>& sourceDescription() const { return sourceDescription_; }

    // ---- derived values (in scanResults order) ----
    std::optional<ScanResult> selectedMultichannelResult() const { return results_.selectedMultichannel(); }
    std::int64_t totalPotentialSavings() const { return results_.totalPotentialSavings(); }
    // The selected results that can be converted.
    std::vector<ScanResult> selectedConvertibleResults() const { return results_.selectedConvertible(); }
    using ResultCounts = ResultList::Counts;
    ResultCounts resultCounts() const { return results_.counts(); }

    // ---- scanning ----
    void setFolderChooser(FolderChooser chooser);
    // Asks the chooser for a folder; when one is chosen, scans it.
    QFuture<void> selectFolder();
    // Scans selectedFolderPath (nothing happens without one).
    QFuture<void> startScan();
    // Stops the scan; the published results and messages stay, the state is idle.
    QFuture<void> cancelScan();
    // Scans dropped (or command-line) files and folders.
    QFuture<void> scanDroppedItems(const std::vector<Path>& paths);

    // ---- selection and order ----
    void selectAllConvertible();
    // Removes a selected result; adds one only if it is convertible.
    void toggleSelection(const Uuid& id);
    // The table's own row selection: any identifiers, as given.
    void setSelectedResultIDs(std::set<Uuid> ids);
    // Re-orders scanResults in place (stable); every later reader sees the new order.
    void sortResults(const std::function<bool(const ScanResult&, const ScanResult&)>& before);
    // By file name, plain byte order, ascending or descending.
    void sortResultsByFilename(bool ascending);
    // Results streaming in from now on are added at the end, in no order.
    void forgetResultOrder() { results_.forgetOrder(); }

    // Back to the empty state: tasks cancelled, results, folder and messages cleared.
    void reset();

    // ---- settings ----
    void setSettings(const AppSettings& settings);       // publishes and saves
    void overrideSettings(const AppSettings& settings);  // publishes only

    // ---- conversion ----
    // What converting the convertible results among `selection` needs the
    // user to answer first, in the order to ask.
    std::vector<ConversionQuestion> questionsFor(const std::set<Uuid>& selection) const;
    // Plans the conversion of the request's convertible results with its
    // answers and, when no output clashes, converts them (cancelling a
    // running conversion first). A request that leaves a question open is
    // refused: the conversion fails with the reason and nothing is written.
    // When outputs clash (two sources to one name, a name taken or too
    // long, an output onto its source), nothing is written: the clashes are
    // published in pendingClashes() for the user to skip those files or cancel.
    QFuture<void> convert(const ConversionRequest& request);
    // Every clash of the conversion the user asked for, all found before
    // anything was written.
    const std::vector<PlannedClash>& pendingClashes() const { return pendingClashes_; }
    // Converts the rest of the pending plan, without the files that clash.
    QFuture<void> skipClashingFiles();
    // Forgets the pending plan: nothing is converted.
    void dismissClashes();
    // Stops the conversion; finished outputs stay, no original is touched.
    QFuture<void> cancelConversion();

    // Whether the lossy-format notice is left out of the questions (the
    // user ticked "Don't show this message again"); kept in the settings store.
    bool lossyNoticeHidden() const;
    void setLossyNoticeHidden(bool hidden);

    // The error alert's "OK": clears errorMessage and a finished conversion state.
    void dismissError();

    // ---- seams for tests ----
    void setClock(Clock clock);
    // The local time the backup folder is named after.
    void setBackupTimeSource(std::function<QDateTime()> now);
    void setScanHooks(ScanHooks hooks);
    void setScanOptions(ScanOptions options) { scanOptions_ = std::move(options); }
    const ScanOptions& scanOptions() const { return scanOptions_; }
    void setConversionHooks(ConversionHooks hooks);

signals:
    void selectedFolderPathChanged();
    void scanStateChanged();
    void scanResultsChanged();
    // Results of the running scan were put into scanResults; `positions` are
    // their indices in the new list, ascending.
    void scanResultsInserted(const std::vector<std::size_t>& positions);
    void selectedResultIDsChanged();
    void conversionStateChanged();
    void settingsChanged();
    void errorMessageChanged();
    void lastConversionOutcomeChanged();
    void pendingClashesChanged();
    void convertedOriginalPathsChanged();
    void sourceDescriptionChanged();

private:
    using Token = std::shared_ptr<std::atomic<bool>>;
    using Promise = std::shared_ptr<QPromise<void>>;

    // One background task: its cancellation token, the end of its worker
    // thread, and the future handed to callers.
    struct Task {
        Token cancelled;
        std::shared_future<void> ended;
        QFuture<void> finished;
    };
    // What a worker needs to talk back: the view model (weakly), its token
    // and its promise.
    class TaskLink;
    struct ScanSources;
    struct ConversionInput;

    // Publishing (GUI thread): set the field, emit its signal when it changed.
    template <typename T>
    void publish(T& field, T value, void (ScanViewModel::*changed)());
    void publishScanStart();
    void insertScanResults(std::vector<ScanResult>& batch, const ScanState& progress);
    void publishSelection(std::set<Uuid> ids);
    void publishScanProgress(double progress, const std::string& currentFile, ScanState state = {});
    void publishConversionProgress(const ConversionState& state);
    bool admitProgress();

    // Tasks.
    Task launch(std::shared_future<void> predecessor, std::function<void(const TaskLink&)> body);
    void beginScan(bool keepOutcome = false);
    QFuture<void> launchScan(ScanSources sources);
    void cancelScanTask();
    void cancelConversionTask();
    static void scanTaskBody(const TaskLink& link, const ScanSources& sources);
    static void analyzeFiles(const TaskLink& link, const ScanSources& sources, std::vector<Path> paths,
                             AnalysisCache* cache);
    std::vector<ScanResult> convertibleAmong(const std::set<Uuid>& selection) const;
    void refuseConversion(const std::string& reason);
    QFuture<void> startPlannedConversion(ConversionPlan plan);
    static void conversionTaskBody(const TaskLink& link, const ConversionInput& input);
    static bool verifyOutputs(const TaskLink& link, const std::vector<SourceProof>& proofs);
    static bool makeOutputsDurable(const TaskLink& link, const std::vector<std::filesystem::path>& outputs);
    static void publishConversionFailure(const TaskLink& link, std::string message);
    static void finishConversion(const TaskLink& link, const ConversionInput& input, std::vector<Path> outputs);
    void completeConversion(const Promise& promise);
    std::shared_ptr<AudioAnalyzerService> makeAnalyzer() const;
    void cancelScanServices();
    void cancelConverter();

    // Published fields.
    std::optional<Path> selectedFolderPath_;
    ScanState scanState_;
    ResultList results_;  // scanResults and selectedResultIDs
    ConversionState conversionState_;
    SettingsService& settingsService_;
    AppSettings settings_;
    std::optional<std::string> errorMessage_;
    std::optional<ConversionOutcome> lastConversionOutcome_;
    std::vector<PlannedClash> pendingClashes_;
    ConversionPlan pendingPlan_;
    std::vector<Path> convertedOriginalPaths_;
    std::optional<std::string> sourceDescription_;

    // Services: the scanner and converter for the whole life, the analyser
    // replaced at every scan start (a running task keeps its own).
    std::unique_ptr<FileScannerService> fileScanner_;
    std::shared_ptr<AudioAnalyzerService> audioAnalyzer_;
    std::shared_ptr<AudioConverterService> audioConverter_;

    std::optional<Task> scanTask_;
    std::optional<Task> conversionTask_;
    // The end of the latest worker of each kind, which the next one waits
    // for before it touches the shared services (kept after a cancel).
    std::shared_future<void> lastScanEnded_;
    std::shared_future<void> lastConversionEnded_;
    WorkerThreads threads_;

    double lastProgressUpdate_ = 0;
    Clock clock_;
    std::function<QDateTime()> backupTime_;
    FolderChooser folderChooser_;
    ScanHooks scanHooks_;
    ScanOptions scanOptions_;
    ConversionHooks conversionHooks_;
};

}  // namespace twinfold
