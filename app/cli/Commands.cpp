#include "Commands.h"

#include "ConversionPlan.h"
#include "ConvertChoice.h"
#include "ConvertReport.h"
#include "DemoLibrary.h"
#include "Exclusion.h"
#include "Interruption.h"
#include "JsonFormatter.h"
#include "ScanReport.h"
#include "Terminal.h"
#include "TextFormatter.h"
#include "scanning/FileScannerService.h"
#include "jobs/BackupManifest.h"
#include "jobs/RestoreOriginals.h"
#include "scanning/LibraryScan.h"
#include "workflow/ScanViewModel.h"

#include <QDateTime>
#include <QEventLoop>
#include <QFutureWatcher>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <system_error>

namespace twinfold::cli {

namespace fs = std::filesystem;

namespace {

// Messages name files: their control characters are escaped.
void printError(const std::string& message) { std::cerr << "twinfold-cli: " << escapedText(message) << '\n'; }

// Waits for a view-model operation while the event loop keeps delivering
// what its worker publishes.
void waitFor(const QFuture<void>& future) {
    if (future.isFinished()) return;
    QEventLoop loop;
    QFutureWatcher<void> watcher;
    QObject::connect(&watcher, &QFutureWatcher<void>::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(future);
    if (!future.isFinished()) loop.exec();
}

// Runs `action` once, from the event loop, after Ctrl-C; does nothing
// without an Interruption.
class InterruptWatch {
public:
    InterruptWatch(const Interruption* interruption, std::function<void()> action) {
        if (!interruption) return;
        QObject::connect(&timer_, &QTimer::timeout, [this, interruption, action = std::move(action)] {
            if (fired_ || !interruption->requested()) return;
            fired_ = true;
            action();
        });
        timer_.start(100);
    }
    bool fired() const { return fired_; }

private:
    QTimer timer_;
    bool fired_ = false;
};

// The view model leaves out what it cannot use without a word, as it does
// for a drop; on the command line a mistyped path deserves a note.
void warnAboutUnusable(const fs::path& path) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (!fs::exists(status)) {
        printError("skipping " + path.string() + ": no such file or folder");
    } else if (!fs::is_directory(status) && !hasSupportedExtension(path.filename().string())) {
        printError("skipping " + path.string() + ": not a WAV, AIFF, MP3, M4A or AAC file");
    }
}

// Scans the paths as dropped items. Anything but success means the scan
// did not complete (the message is on stderr). The results end up sorted by
// file name, so that the output does not depend on which analysis finished first.
ExitCode scanPaths(ScanViewModel& viewModel, const std::vector<fs::path>& arguments,
                   const Interruption* interruption = nullptr) {
    std::vector<fs::path> paths;
    for (const fs::path& argument : arguments) {
        paths.push_back(standardizedPath(argument));
        warnAboutUnusable(paths.back());
    }
    ProgressLine progress;
    const auto connection = QObject::connect(&viewModel, &ScanViewModel::scanStateChanged, [&] {
        const ScanState& state = viewModel.scanState();
        if (state.isScanning()) progress.show(std::to_string(int(state.progress * 100)) + "%  " + state.currentFile);
    });
    const InterruptWatch watch(interruption, [&] { viewModel.cancelScan(); });
    waitFor(viewModel.scanDroppedItems(paths));
    QObject::disconnect(connection);
    progress.clear();
    if (viewModel.errorMessage()) {
        printError(*viewModel.errorMessage());
        return ExitCode::failed;
    }
    if (watch.fired()) {
        printError("scan cancelled");
        return interruption->exitCode();
    }
    if (viewModel.scanState().kind != ScanState::Case::completed) {
        printError("the scan did not complete");
        return ExitCode::failed;
    }
    viewModel.sortResultsByFilename(true);
    return ExitCode::success;
}

// Success when the conversion may go ahead.
ExitCode confirm(const ConvertCommand& command, const PlanSummary& plan, const Interruption& interruption) {
    if (!command.yes && !standardInputIsTerminal()) {
        printError(
            "not converting: there is no terminal to confirm on; run again with --yes to convert without asking");
        return ExitCode::notConfirmed;
    }
    const int files = int(plan.plan.withoutClashes().items.size());
    const bool yes = command.yes || askYesNo("Convert " + std::to_string(files) + " files?");
    if (yes && !interruption.requested()) return ExitCode::success;
    // After Ctrl-C the cursor still stands behind the question.
    std::cerr << (interruption.requested() && !command.yes ? "\n" : "") << "Nothing converted.\n";
    return interruption.requested() ? interruption.exitCode() : ExitCode::notConfirmed;
}

// The command line's answers to the questions a conversion asks: the
// choices from its options, and the notice and the deletion answered by the
// confirmation the user gave (or --yes) for the plan that showed both.
ConversionRequest requestFor(const ScanViewModel& viewModel, const PlanOptions& options) {
    ConversionRequest request{viewModel.selectedResultIDs(), {}};
    request.answers.phaseFix = options.phaseFixOption;
    request.answers.multichannel = options.multichannelOption;
    request.answers.lossyAcknowledged = true;
    request.answers.deletionConfirmed = true;
    return request;
}

// Converts, and when outputs clash (the plan listed them; only
// --skip-existing gets this far with some), converts the rest.
void convertRequest(ScanViewModel& viewModel, const ConversionRequest& request, const InterruptWatch& watch) {
    waitFor(viewModel.convert(request));
    if (!viewModel.pendingClashes().empty() && !watch.fired()) waitFor(viewModel.skipClashingFiles());
}

struct ConversionRun {
    ExitCode code = ExitCode::success;
    std::optional<ConversionRecord> record;  // when the conversion ran
};

// Converts the selection with a progress bar, cancelling it on a signal,
// and reports how it ended; the problems go to standard error.
ConversionRun convertSelection(ScanViewModel& viewModel, const ConversionRequest& request,
                               const Interruption& interruption) {
    ProgressLine progress;
    std::optional<ConversionState> outcome;
    // The outcome is caught as it is published: a state read afterwards
    // could already be the next one.
    const auto connection = QObject::connect(&viewModel, &ScanViewModel::conversionStateChanged, [&] {
        const ConversionState& state = viewModel.conversionState();
        if (state.isConverting()) progress.showBar(state.progress, state.completed, state.total, state.currentFile);
        if (state.kind == ConversionState::Case::completed || state.kind == ConversionState::Case::failed) {
            progress.clear();
            outcome = state;
        }
    });
    const InterruptWatch watch(&interruption, [&] {
        // Once the conversion has ended there is nothing left to stop.
        if (!outcome) viewModel.cancelConversion();
    });
    convertRequest(viewModel, request, watch);
    QObject::disconnect(connection);
    progress.clear();
    if (outcome && outcome->kind == ConversionState::Case::failed) {
        printError(outcome->message);
        return {ExitCode::failed, ConversionRecord{{}, {}, {}, 0, outcome->message}};
    }
    if (outcome) {
        ConversionRecord record{outcome->outputPaths, {}, {}, 0, std::nullopt};
        if (const auto& handled = viewModel.lastConversionOutcome()) {
            record.originals = handled->originals;
            record.problems = handled->problems;
            record.savedBytes = handled->savedBytes;
        }
        for (const std::string& problem : record.problems) printError(problem);
        return {record.problems.empty() ? ExitCode::success : ExitCode::originalsNotHandled, std::move(record)};
    }
    if (!watch.fired()) {
        printError("the conversion did not run");
        return {ExitCode::failed, ConversionRecord{{}, {}, {}, 0, "the conversion did not run"}};
    }
    const std::string cancelled = "conversion cancelled; the files finished so far stay, no original was touched";
    printError(cancelled);
    return {interruption.exitCode(), ConversionRecord{{}, {}, {}, 0, cancelled}};
}

// The paths on the command line and those --files-from lists, one a line
// (blank lines skipped; a path is taken byte for byte, so any name works).
std::vector<fs::path> libraryPaths(const std::vector<fs::path>& paths, const LibraryOptions& library) {
    std::vector<fs::path> all = paths;
    if (!library.filesFrom) return all;
    std::ifstream file;
    const bool fromInput = *library.filesFrom == "-";
    if (!fromInput) {
        file.open(*library.filesFrom);
        if (!file) throw std::runtime_error("cannot read " + library.filesFrom->string() + ": " + std::strerror(errno));
    }
    std::istream& in = fromInput ? std::cin : file;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) all.emplace_back(line);
    }
    return all;
}

void applyLibraryOptions(ScanViewModel& viewModel, const LibraryOptions& library) {
    ScanViewModel::ScanOptions options = viewModel.scanOptions();
    options.jobs = library.jobs.value_or(0);
    options.useCache = !library.noCache;
    // Nothing looks at the folder after the command: a rescan would only
    // read it again (every file of it, without the cache).
    options.rescanAfterConversion = false;
    viewModel.setScanOptions(options);
}

std::vector<fs::path> namedPaths(const std::vector<fs::path>& paths) {
    std::vector<fs::path> named;
    for (const fs::path& path : paths) named.push_back(standardizedPath(path));
    return named;
}

// Opens the log before anything is converted, so a log that cannot be
// written stops the run instead of going missing afterwards.
std::optional<std::ofstream> openLog(const std::optional<fs::path>& file) {
    if (!file) return std::nullopt;
    std::ofstream log(*file, std::ios::app | std::ios::binary);
    if (!log) throw std::runtime_error("cannot write the log " + file->string() + ": " + std::strerror(errno));
    return log;
}

// Prints the plan (as text, or as the JSON document with no outcome) and
// says why nothing more happens, when that is so; empty when the
// conversion may go on to the confirmation.
std::optional<ExitCode> presentPlan(const ConvertCommand& command, const PlanSummary& plan) {
    const bool empty = plan.plan.withoutClashes().items.empty();
    const std::size_t clashes = plan.plan.clashes().size();
    const bool stops = command.dryRun || empty || (clashes > 0 && !command.skipExisting);
    if (command.json && stops) std::cout << formatConvertJson(plan, command.dryRun, std::nullopt).toStdString();
    if (!command.json && plan.fileCount() > 0) std::cout << formatPlanText(plan);
    if (clashes > 0 && !command.skipExisting) {
        std::cout << std::flush;
        printError(std::to_string(clashes) +
                   " outputs cannot be written (listed in the plan); nothing converted. "
                   "Run again with --skip-existing to convert the other files.");
        return ExitCode::failed;
    }
    if (!command.json && empty) std::cout << "Nothing to convert.\n";
    if (!command.json && command.dryRun && !empty) std::cout << "\nDry run: nothing was written.\n";
    std::cout << std::flush;
    return stops ? std::optional(ExitCode::success) : std::nullopt;
}

}  // namespace

ExitCode runScan(const ScanCommand& command, SettingsService& settings) {
    ScanViewModel viewModel(settings);
    viewModel.overrideSettings(settingsForScan(viewModel.settings(), command));
    applyLibraryOptions(viewModel, command.library);
    const std::vector<fs::path> paths = libraryPaths(command.paths, command.library);
    const std::vector<fs::path> named = namedPaths(paths);
    // Each result as soon as the window would show it, for a pipeline.
    const auto streaming =
        !command.jsonl ? QMetaObject::Connection()
                       : QObject::connect(&viewModel, &ScanViewModel::scanResultsInserted,
                                          [&](const std::vector<std::size_t>& at) {
                                              for (std::size_t position : at) {
                                                  const ScanResult& result = viewModel.scanResults().at(position);
                                                  if (!isExcluded(result, command.exclusions, named))
                                                      std::cout << scanResultJsonLine(result).toStdString();
                                              }
                                              std::cout << std::flush;
                                          });
    const ExitCode scanned = scanPaths(viewModel, paths);
    QObject::disconnect(streaming);
    if (scanned != ExitCode::success) return scanned;
    if (command.jsonl) return ExitCode::success;
    const ScanReport report = makeScanReport(viewModel, command.exclusions, named);
    for (const std::string& notice : scanNotices(report)) printError(notice);
    if (command.json) {
        writeScanJson(report, std::cout);
    } else {
        writeScanText(report, std::cout);
    }
    std::cout << std::flush;
    return ExitCode::success;
}

ExitCode runConvert(const ConvertCommand& command, SettingsService& settings) {
    // From here on a signal cancels whatever runs, so that nothing is left half written.
    const Interruption interruption;
    ScanViewModel viewModel(settings);
    const RunSettings run = settingsForRun(settings.stored(), command);
    viewModel.overrideSettings(run.settings);
    std::optional<std::ofstream> log = command.dryRun ? std::nullopt : openLog(command.logFile);
    applyLibraryOptions(viewModel, command.library);
    const std::vector<fs::path> paths = libraryPaths(command.paths, command.library);
    if (const ExitCode scanned = scanPaths(viewModel, paths, &interruption); scanned != ExitCode::success)
        return scanned;
    const std::vector<fs::path> named = namedPaths(paths);
    const ScanReport report = makeScanReport(viewModel, command.exclusions, named);
    for (const std::string& notice : scanNotices(report)) printError(notice);
    ConvertChoice choice = chooseForConversion(report.results, named, command.includeDiffering);
    for (const std::string& notice : choice.notices) printError(notice);
    viewModel.setSelectedResultIDs(std::move(choice.ids));
    const PlanSummary plan = summarizePlan(viewModel.selectedConvertibleResults(), run, viewModel.selectedFolderPath());
    if (const auto stop = presentPlan(command, plan)) return *stop;
    if (const ExitCode confirmed = confirm(command, plan, interruption); confirmed != ExitCode::success)
        return confirmed;
    const ConversionRun converted = convertSelection(viewModel, requestFor(viewModel, run.options), interruption);
    if (log && converted.record) {
        *log << formatConversionLog(plan, *converted.record, QDateTime::currentDateTime()) << std::flush;
        if (!*log) printError("could not write the log " + command.logFile->string());
    }
    if (command.json) {
        std::cout << formatConvertJson(plan, false, converted.record).toStdString();
    } else if (converted.record && !converted.record->failure) {
        std::cout << '\n' << formatOutputsText(converted.record->outputs);
    }
    std::cout << std::flush;
    return converted.code;
}

ExitCode runRestore(const RestoreCommand& command) {
    std::error_code error;
    if (!fs::is_regular_file(command.backupFolder / kBackupManifestName, error)) {
        printError(command.backupFolder.string() + " holds no " + kBackupManifestName +
                   ": it is not a backup folder this version of Twinfold wrote");
        return ExitCode::failed;
    }
    const RestoreReport report = restoreOriginals(command.backupFolder, command.removeOutputs);
    std::cout << "Restored " << report.restored.size() << " originals:\n";
    for (const fs::path& p : report.restored) std::cout << "  " << escapedText(p.string()) << '\n';
    if (command.removeOutputs) {
        std::cout << "Removed " << report.outputsRemoved.size() << " outputs:\n";
        for (const fs::path& p : report.outputsRemoved) std::cout << "  " << escapedText(p.string()) << '\n';
    }
    std::cout << std::flush;
    for (const std::string& problem : report.problems) printError(problem);
    return report.problems.empty() ? ExitCode::success : ExitCode::originalsNotHandled;
}

ExitCode runDemo(const DemoCommand& command) {
    const fs::path directory = standardizedPath(command.directory);
    try {
        const std::vector<fs::path> written = writeDemoLibrary(directory);
        std::cout << "Wrote " << written.size() << " files into " << directory.string() << ":\n";
        for (const fs::path& p : written) std::cout << "  " << p.filename().string() << '\n';
        std::cout << "\nTry: twinfold-cli scan \"" << directory.string() << "\"\n" << std::flush;
        return ExitCode::success;
    } catch (const std::exception& e) {
        printError(e.what());
        return ExitCode::failed;
    }
}

}  // namespace twinfold::cli
