#pragma once

// ScanViewModel: the state and operations behind the main window and the
// command-line front end: choosing what to scan, the scan itself, the
// results and their selection, the conversion with its three option gates,
// the proof that outputs are right, and the originals afterwards.
//
// How a front end drives it
// -------------------------
// Create one on the GUI (main) thread of a running Q(Core)Application and
// keep it. Everything below is called on that thread; long work runs on
// worker threads and comes back as queued calls, so the event loop must run.
//
// * Read state through the getters. Each published field has a signal named
//   <field>Changed() that fires (on the GUI thread) after the field changed;
//   re-read the getter then. Derived values (dualMonoResults(), …) are
//   computed on every call from scanResults and selectedResultIDs.
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
// * Converting: convertSelected() (all three flags false) may stop at a gate
//   and raise showLossyFormatNotice, showPhaseFixOptions or
//   showMultichannelOptions instead. The sheet records its answer
//   (setSelectedPhaseFixOption, acknowledgeLossyFormatNotice, …,
//   setPhaseFixAcknowledged(true)) and, when it closes, the front end calls
//   the matching …Closed() operation, which hides the sheet and, when the
//   answer was acknowledged, resumes with that gate passed. A front end
//   without sheets answers the same way: set the option, set the
//   acknowledgement, call …Closed(). Progress appears in conversionState
//   (converting: item n of total; then, when the originals will be moved or
//   deleted, "Verifying <source name>" with n/total counting the sources
//   read back); cancelConversion() stops. On success conversionState becomes
//   completed(outputs); when a folder is set, the rescan that follows sets it
//   back to idle, so a front end that wants the outputs records them from
//   conversionStateChanged. The future of the call that started the
//   conversion finishes after the originals were handled and the rescan ended.
// * Everything a conversion uses (settings, phase and multichannel options,
//   the folder for the backup) is fixed when it starts.
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
#include <thread>
#include <vector>

template <typename T>
class QPromise;

namespace twinfold {

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
        int jobs = 0;                    // 0: one per core
        bool useCache = true;
        std::optional<Path> cacheFile;   // default: defaultAnalysisCacheFile()
        // Files changed this recently are analysed but not cached.
        double cacheSettleSeconds = 3;
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
    const std::optional<Path>& selectedFolderURL() const { return selectedFolderURL_; }
    const ScanState& scanState() const { return scanState_; }
    const std::vector<ScanResult>& scanResults() const { return scanResults_; }
    const std::set<Uuid>& selectedResultIDs() const { return selectedResultIDs_; }
    const ConversionState& conversionState() const { return conversionState_; }
    const AppSettings& settings() const { return settings_; }
    const std::optional<std::string>& errorMessage() const { return errorMessage_; }
    // Set when a conversion ends; kept through the rescan that follows it,
    // cleared when the user starts another scan or conversion.
    const std::optional<ConversionOutcome>& lastConversionOutcome() const { return lastConversionOutcome_; }
    const std::vector<Path>& convertedOriginalURLs() const { return convertedOriginalURLs_; }
    bool showPhaseFixOptions() const { return showPhaseFixOptions_; }
    PhaseFixOption selectedPhaseFixOption() const { return selectedPhaseFixOption_; }
    const std::vector<ScanResult>& pendingPhaseInvertedResults() const { return pendingPhaseInvertedResults_; }
    bool showMultichannelOptions() const { return showMultichannelOptions_; }
    MultichannelConversionOption selectedMultichannelOption() const { return selectedMultichannelOption_; }
    const std::vector<ScanResult>& pendingMultichannelResults() const { return pendingMultichannelResults_; }
    bool showLossyFormatNotice() const { return showLossyFormatNotice_; }
    bool lossyNoticeAcknowledged() const { return lossyNoticeAcknowledged_; }
    bool phaseFixAcknowledged() const { return phaseFixAcknowledged_; }
    bool multichannelAcknowledged() const { return multichannelAcknowledged_; }
    const std::optional<std::string>& sourceDescription() const { return sourceDescription_; }

    // ---- derived values (in scanResults order) ----
    std::vector<ScanResult> dualMonoResults() const;
    std::vector<ScanResult> phaseInvertedResults() const;
    std::vector<ScanResult> pannedMonoResults() const;
    std::vector<ScanResult> silentChannelResults() const;   // left or right silent
    std::vector<ScanResult> noAudioContentResults() const;  // both silent
    std::vector<ScanResult> stereoResults() const;          // ordinary stereo files
    std::vector<ScanResult> multichannelResults() const;
    std::optional<ScanResult> selectedMultichannelResult() const;
    std::int64_t totalPotentialSavings() const;
    // The selected results that can be converted, in scanResults order.
    std::vector<ScanResult> selectedConvertibleResults() const;
    // Whether any result could be selected by selectAllConvertible().
    bool hasConvertibleResults() const;
    // The sizes of the lists above in one pass, without copying a result:
    // what a summary of 100,000 results needs at every update.
    struct ResultCounts {
        std::size_t total = 0;
        std::size_t dualMono = 0;
        std::size_t pannedMono = 0;
        std::size_t phaseInverted = 0;
        std::size_t silentChannel = 0;
        std::size_t noAudioContent = 0;
        std::size_t stereo = 0;
        std::size_t multichannel = 0;
        std::size_t unreadable = 0;
        std::size_t convertible = 0;
        std::size_t selectedConvertible = 0;
        std::int64_t potentialSavings = 0;  // totalPotentialSavings()
    };
    ResultCounts resultCounts() const;

    // ---- scanning ----
    void setFolderChooser(FolderChooser chooser);
    // Asks the chooser for a folder; when one is chosen, scans it.
    QFuture<void> selectFolder();
    // Scans selectedFolderURL (nothing happens without one).
    QFuture<void> startScan();
    // Stops the scan; the published results and messages stay, the state is idle.
    QFuture<void> cancelScan();
    // Scans dropped (or command-line) files and folders.
    QFuture<void> scanDroppedItems(const std::vector<Path>& urls);

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
    void forgetResultOrder() { resultOrder_ = nullptr; }

    // Back to the empty state: tasks cancelled, results, folder and messages cleared.
    void reset();

    // ---- settings ----
    void setSettings(const AppSettings& settings);       // publishes and saves
    void overrideSettings(const AppSettings& settings);  // publishes only

    // ---- conversion ----
    // The entry point ("Convert Selected to Mono"), resumed by the sheets with
    // the gates they passed. Does nothing without a convertible selection.
    QFuture<void> convertSelected(bool skipLossyCheck = false, bool skipPhaseCheck = false,
                                  bool skipMultichannelCheck = false);
    // Plans the conversion of `results` and, when no output clashes,
    // converts them (cancelling a running conversion first). When outputs
    // clash (two sources to one name, a name taken or too long, an output
    // onto its source), nothing is written: the clashes are published in
    // pendingClashes() for the user to skip those files or cancel.
    QFuture<void> startConversion(const std::vector<ScanResult>& results);
    // Every clash of the conversion the user asked for, all found before
    // anything was written.
    const std::vector<PlannedClash>& pendingClashes() const { return pendingClashes_; }
    // Converts the rest of the pending plan, without the files that clash.
    QFuture<void> skipClashingFiles();
    // Forgets the pending plan: nothing is converted.
    void dismissClashes();
    // Stops the conversion; finished outputs stay, no original is touched.
    QFuture<void> cancelConversion();

    // ---- option sheets ----
    void setShowLossyFormatNotice(bool show);
    void setLossyNoticeAcknowledged(bool acknowledged);
    // The notice's "Continue": remembers "Don’t show this message again"
    // when ticked, then acknowledges.
    void acknowledgeLossyFormatNotice(bool dontShowAgain);
    void setShowPhaseFixOptions(bool show);
    void setSelectedPhaseFixOption(PhaseFixOption option);
    void setPendingPhaseInvertedResults(std::vector<ScanResult> results);
    void setPhaseFixAcknowledged(bool acknowledged);
    void setShowMultichannelOptions(bool show);
    void setSelectedMultichannelOption(MultichannelConversionOption option);
    void setPendingMultichannelResults(std::vector<ScanResult> results);
    void setMultichannelAcknowledged(bool acknowledged);
    // A sheet has closed: hide it; if its acknowledgement is set, clear it
    // and resume convertSelected with this gate (and the earlier ones) passed.
    QFuture<void> lossyFormatNoticeClosed();
    QFuture<void> phaseFixOptionsClosed();
    QFuture<void> multichannelOptionsClosed();

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
    void selectedFolderURLChanged();
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
    void convertedOriginalURLsChanged();
    void showPhaseFixOptionsChanged();
    void selectedPhaseFixOptionChanged();
    void pendingPhaseInvertedResultsChanged();
    void showMultichannelOptionsChanged();
    void selectedMultichannelOptionChanged();
    void pendingMultichannelResultsChanged();
    void showLossyFormatNoticeChanged();
    void lossyNoticeAcknowledgedChanged();
    void phaseFixAcknowledgedChanged();
    void multichannelAcknowledgedChanged();
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
    void insertScanResults(std::vector<ScanResult> batch, const ScanState& progress);
    template <typename Before>
    void reorderResults(const Before& before);
    void publishScanProgress(double progress, const std::string& currentFile, ScanState state = {});
    void publishConversionProgress(const ConversionState& state);
    bool admitProgress();

    // Tasks.
    Task launch(std::shared_future<void> predecessor, std::function<void(const TaskLink&)> body);
    void beginScan(bool keepOutcome = false);
    QFuture<void> launchScan(ScanSources sources);
    void reapEndedThreads();
    void cancelScanTask();
    void cancelConversionTask();
    static void scanTaskBody(const TaskLink& link, const ScanSources& sources);
    static void analyzeFiles(const TaskLink& link, const ScanSources& sources, std::vector<Path> urls);
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
    std::optional<Path> selectedFolderURL_;
    ScanState scanState_;
    std::vector<ScanResult> scanResults_;
    std::set<Uuid> selectedResultIDs_;
    ConversionState conversionState_;
    SettingsService& settingsService_;
    AppSettings settings_;
    std::optional<std::string> errorMessage_;
    std::optional<ConversionOutcome> lastConversionOutcome_;
    std::vector<PlannedClash> pendingClashes_;
    ConversionPlan pendingPlan_;
    std::vector<Path> convertedOriginalURLs_;
    bool showPhaseFixOptions_ = false;
    PhaseFixOption selectedPhaseFixOption_ = PhaseFixOption::useLeft;
    std::vector<ScanResult> pendingPhaseInvertedResults_;
    bool showMultichannelOptions_ = false;
    MultichannelConversionOption selectedMultichannelOption_ = MultichannelConversionOption::splitAllToMono;
    std::vector<ScanResult> pendingMultichannelResults_;
    bool showLossyFormatNotice_ = false;
    bool lossyNoticeAcknowledged_ = false;
    bool phaseFixAcknowledged_ = false;
    bool multichannelAcknowledged_ = false;
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
    struct Worker {
        std::thread thread;
        std::shared_future<void> ended;
    };
    std::vector<Worker> workers_;

    double lastProgressUpdate_ = 0;
    Clock clock_;
    std::function<QDateTime()> backupTime_;
    FolderChooser folderChooser_;
    ScanHooks scanHooks_;
    ScanOptions scanOptions_;
    // The order last asked for by sortResults, kept for results streaming in.
    std::function<bool(const ScanResult&, const ScanResult&)> resultOrder_;
    ConversionHooks conversionHooks_;
};

}  // namespace twinfold
