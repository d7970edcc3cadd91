#include "Commands.h"

#include "ConversionPlan.h"
#include "DemoLibrary.h"
#include "JsonFormatter.h"
#include "ScanReport.h"
#include "Terminal.h"
#include "TextFormatter.h"
#include "scanning/FileScannerService.h"
#include "workflow/ScanViewModel.h"

#include <QEventLoop>
#include <QFutureWatcher>

#include <iostream>
#include <system_error>

namespace twinfold::cli {

namespace fs = std::filesystem;

namespace {

void printError(const std::string& message) { std::cerr << "twinfold-cli: " << message << '\n'; }

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

// Absolute and without "." / ".." steps or a trailing slash, the form a
// dropped item has.
fs::path droppedForm(const fs::path& path) {
    fs::path p = fs::absolute(path).lexically_normal();
    if (!p.has_filename() && p.has_parent_path() && p != p.root_path()) p = p.parent_path();
    return p;
}

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

// Scans the paths as dropped items; false (the message on stderr) unless
// the scan completed. The results end up sorted by file name, so that the
// output does not depend on which analysis finished first.
bool scanPaths(ScanViewModel& viewModel, const std::vector<fs::path>& arguments) {
    std::vector<fs::path> paths;
    for (const fs::path& argument : arguments) {
        paths.push_back(droppedForm(argument));
        warnAboutUnusable(paths.back());
    }
    ProgressLine progress;
    const auto connection = QObject::connect(&viewModel, &ScanViewModel::scanStateChanged, [&] {
        const ScanState& state = viewModel.scanState();
        if (state.isScanning())
            progress.show(std::to_string(int(state.progress * 100)) + "%  " + state.currentFile);
    });
    waitFor(viewModel.scanDroppedItems(paths));
    QObject::disconnect(connection);
    progress.clear();
    if (viewModel.errorMessage()) {
        printError(*viewModel.errorMessage());
        return false;
    }
    if (viewModel.scanState().kind != ScanState::Case::completed) {
        printError("the scan did not complete");
        return false;
    }
    viewModel.sortResultsByFilename(true);
    return true;
}

AppSettings settingsForRun(AppSettings settings, const ConvertCommand& c) {
    if (c.suffix) settings.namingSuffix = *c.suffix;
    if (c.panInName) settings.includePanInFilename = true;
    if (c.normalizedBFS) {
        settings.normalizationEnabled = true;
        settings.normalizationTargetdBFS = *c.normalizedBFS;
    }
    if (c.originals) settings.originalFileHandling = *c.originals;
    if (c.thresholddBFS) settings.silenceThresholddBFS = *c.thresholddBFS;
    return settings;
}

bool confirmed(const ConvertCommand& command, const ConversionPlan& plan) {
    if (command.yes) return true;
    if (!standardInputIsTerminal()) {
        printError("not converting: there is no terminal to confirm on; run again with --yes to convert without asking");
        return false;
    }
    if (askYesNo("Convert " + std::to_string(plan.fileCount()) + " files?")) return true;
    std::cerr << "Nothing converted.\n";
    return false;
}

// Answers each option gate the way a sheet would (the choices were set
// beforehand) until the conversion has run, then reports how it ended.
ExitCode convertSelection(ScanViewModel& viewModel) {
    ProgressLine progress;
    std::optional<ConversionState> outcome;
    // The rescan after a conversion sets the state back to idle, so the
    // outcome is caught as it is published.
    const auto connection = QObject::connect(&viewModel, &ScanViewModel::conversionStateChanged, [&] {
        const ConversionState& state = viewModel.conversionState();
        if (state.isConverting()) progress.showBar(state.progress, state.completed, state.total, state.currentFile);
        if (state.kind == ConversionState::Case::completed || state.kind == ConversionState::Case::failed) {
            progress.clear();
            outcome = state;
        }
    });
    waitFor(viewModel.convertSelected());
    for (int gate = 0; gate < 3 && !outcome; ++gate) {
        if (viewModel.showLossyFormatNotice()) {
            viewModel.setLossyNoticeAcknowledged(true);
            waitFor(viewModel.lossyFormatNoticeClosed());
        } else if (viewModel.showPhaseFixOptions()) {
            viewModel.setPhaseFixAcknowledged(true);
            waitFor(viewModel.phaseFixOptionsClosed());
        } else if (viewModel.showMultichannelOptions()) {
            viewModel.setMultichannelAcknowledged(true);
            waitFor(viewModel.multichannelOptionsClosed());
        }
    }
    QObject::disconnect(connection);
    progress.clear();
    if (!outcome) {
        printError("the conversion did not run");
        return ExitCode::failed;
    }
    if (outcome->kind == ConversionState::Case::failed) {
        printError(outcome->message);
        return ExitCode::failed;
    }
    std::cout << '\n' << formatOutputsText(outcome->outputURLs) << std::flush;
    return ExitCode::success;
}

}  // namespace

ExitCode runScan(const ScanCommand& command) {
    ScanViewModel viewModel;
    if (command.thresholddBFS) {
        AppSettings settings = viewModel.settings();
        settings.silenceThresholddBFS = *command.thresholddBFS;
        viewModel.overrideSettings(settings);
    }
    if (!scanPaths(viewModel, command.paths)) return ExitCode::failed;
    const ScanReport report = makeScanReport(viewModel);
    if (command.json) {
        std::cout << formatScanJson(report).toStdString();
    } else {
        std::cout << formatScanText(report);
    }
    std::cout << std::flush;
    return ExitCode::success;
}

ExitCode runConvert(const ConvertCommand& command) {
    ScanViewModel viewModel;
    viewModel.overrideSettings(settingsForRun(viewModel.settings(), command));
    if (!scanPaths(viewModel, command.paths)) return ExitCode::failed;
    const std::vector<ScanResult> selected = viewModel.selectedConvertibleResults();
    if (selected.empty()) {
        std::cout << "Nothing to convert.\n" << std::flush;
        return ExitCode::success;
    }
    viewModel.setSelectedPhaseFixOption(command.phase.value_or(PhaseFixOption::useLeft));
    viewModel.setSelectedMultichannelOption(
        command.multichannel.value_or(MultichannelConversionOption::splitAllToMono));
    const ConversionPlan plan =
        makeConversionPlan(selected, viewModel.settings(), viewModel.selectedPhaseFixOption(),
                           viewModel.selectedMultichannelOption(), viewModel.selectedFolderURL());
    std::cout << formatPlanText(plan) << std::flush;
    if (!confirmed(command, plan)) return ExitCode::notConfirmed;
    return convertSelection(viewModel);
}

ExitCode runDemo(const DemoCommand& command) {
    const fs::path directory = droppedForm(command.directory);
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
