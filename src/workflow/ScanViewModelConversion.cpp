// The conversion half of the view model: the questions and the request, the conversion task on
// its worker thread, the proof of the outputs, the originals and the rescan.
#include "workflow/ScanViewModel.h"

#include "conversion/AudioConverterService.h"
#include "jobs/ConversionRunner.h"
#include "jobs/OriginalFiles.h"
#include "jobs/DurableOutputs.h"
#include "jobs/OutputVerifier.h"
#include "workflow/TaskLink.h"

#include <QFutureWatcher>

#include <algorithm>

namespace twinfold {

namespace {

// Whether handling the originals will move or delete any: only then must
// every output be proven first (without a folder nothing is moved).
bool touchesOriginals(OriginalFileHandling policy, const std::optional<std::filesystem::path>& folder) {
    if (policy == OriginalFileHandling::moveToBackup) return folder.has_value();
    return policy == OriginalFileHandling::deleteOriginals;
}

// The files written and what they save: the converted sources' sizes
// minus the outputs' (negative when compressed sources grew into PCM).
ConversionOutcome outcomeOf(const ConversionPlan& plan, const std::vector<std::filesystem::path>& outputs) {
    ConversionOutcome outcome;
    outcome.outputCount = outputs.size();
    for (const PlannedConversion& item : plan.items) outcome.savedBytes += item.result.fileInfo.fileSize;
    for (const auto& output : outputs) {
        std::error_code error;
        const auto size = std::filesystem::file_size(output, error);
        if (!error) outcome.savedBytes -= std::int64_t(size);
    }
    return outcome;
}

}  // namespace

void ScanViewModel::cancelConverter() { audioConverter_->cancel(); }

void ScanViewModel::cancelConversionTask() {
    if (conversionTask_) conversionTask_->cancelled->store(true);
    conversionTask_.reset();
    cancelConverter();
}

// ---- operations ------------------------------------------------------------

std::vector<ScanResult> ScanViewModel::convertibleAmong(const std::set<Uuid>& selection) const {
    return results_.convertibleAmong(selection);
}

std::vector<ConversionQuestion> ScanViewModel::questionsFor(const std::set<Uuid>& selection) const {
    return conversionQuestions(convertibleAmong(selection), settings_.originalFileHandling, lossyNoticeHidden());
}

// Nothing starts: the state says why, and so does the error alert.
void ScanViewModel::refuseConversion(const std::string& reason) {
    publish(conversionState_, ConversionState::failed(reason), &ScanViewModel::conversionStateChanged);
    publish(errorMessage_, std::optional<std::string>(reason), &ScanViewModel::errorMessageChanged);
}

QFuture<void> ScanViewModel::convert(const ConversionRequest& request) {
    dismissClashes();
    const std::vector<ScanResult> results = convertibleAmong(request.selection);
    if (results.empty()) return QtFuture::makeReadyFuture();
    // The questions are asked again here: the selection, the settings or
    // the stored notice flag may have changed since the front end asked.
    const auto open = unansweredQuestion(
        conversionQuestions(results, settings_.originalFileHandling, lossyNoticeHidden()), request.answers);
    if (open) {
        refuseConversion(*open);
        return QtFuture::makeReadyFuture();
    }
    ConversionPlan plan;
    try {
        plan = planConversion(results, settings_, planOptionsFor(request.answers));
    } catch (const std::exception& error) {
        // A setting no output can be named by (a suffix with "/"): nothing starts.
        refuseConversion(error.what());
        return QtFuture::makeReadyFuture();
    }
    if (!plan.clashes().empty()) {
        pendingPlan_ = std::move(plan);
        publish(pendingClashes_, pendingPlan_.clashes(), &ScanViewModel::pendingClashesChanged);
        return QtFuture::makeReadyFuture();
    }
    return startPlannedConversion(std::move(plan));
}

QFuture<void> ScanViewModel::skipClashingFiles() {
    ConversionPlan plan = pendingPlan_.withoutClashes();
    dismissClashes();
    if (plan.items.empty()) return QtFuture::makeReadyFuture();
    return startPlannedConversion(std::move(plan));
}

void ScanViewModel::dismissClashes() {
    pendingPlan_ = {};
    publish(pendingClashes_, {}, &ScanViewModel::pendingClashesChanged);
}

QFuture<void> ScanViewModel::startPlannedConversion(ConversionPlan plan) {
    cancelConversionTask();
    const int total = int(plan.items.size());
    publish(convertedOriginalPaths_, originalsOf(plan), &ScanViewModel::convertedOriginalPathsChanged);
    ConversionInput input{
        {std::move(plan), settings_}, selectedFolderPath_, audioConverter_, conversionHooks_, backupTime_};
    publish(conversionState_, ConversionState::converting(0, "", 0, total), &ScanViewModel::conversionStateChanged);
    publish(errorMessage_, {}, &ScanViewModel::errorMessageChanged);
    publish(lastConversionOutcome_, {}, &ScanViewModel::lastConversionOutcomeChanged);
    conversionTask_ = launch(lastConversionEnded_,
                             [input = std::move(input)](const TaskLink& link) { conversionTaskBody(link, input); });
    lastConversionEnded_ = conversionTask_->ended;
    return conversionTask_->finished;
}

QFuture<void> ScanViewModel::cancelConversion() {
    QFuture<void> ended = conversionTask_ ? conversionTask_->finished : QtFuture::makeReadyFuture();
    cancelConversionTask();
    publish(conversionState_, ConversionState::idle(), &ScanViewModel::conversionStateChanged);
    return ended;
}

// ---- the conversion task (worker thread) -----------------------------------------

void ScanViewModel::conversionTaskBody(const TaskLink& link, const ConversionInput& input) {
    AudioConverterService& converter = *input.converter;
    converter.clearCancelled();
    // A cancel between the task's start and the line above would be lost.
    if (link.isCancelled()) return converter.cancel();
    auto progress = [&link](double fraction, const std::string& file, int completed, int total) {
        link.post([state = ConversionState::converting(fraction, file, completed, total)](ScanViewModel& vm) {
            vm.publishConversionProgress(state);
        });
    };
    ConversionRunner runner(converter, input.job, link.token(), progress, input.hooks.beforeConverterCall);
    try {
        if (!runner.run()) return;
    } catch (const std::exception& error) {
        if (link.isCancelled()) return;
        publishConversionFailure(link, error.what());
        return;
    }
    if (touchesOriginals(input.job.settings.originalFileHandling, input.folder)) {
        if (input.hooks.beforeVerification) input.hooks.beforeVerification(runner.outputs());
        if (!makeOutputsDurable(link, runner.outputs())) return;
        if (!verifyOutputs(link, runner.proofs())) return;
    }
    finishConversion(link, input, runner.outputs());
}

// Ends the task with `failed` and the same text in errorMessage.
void ScanViewModel::publishConversionFailure(const TaskLink& link, std::string message) {
    link.finish([message = std::move(message)](ScanViewModel& vm) {
        vm.publish(vm.conversionState_, ConversionState::failed(message), &ScanViewModel::conversionStateChanged);
        vm.publish(vm.errorMessage_, std::optional(message), &ScanViewModel::errorMessageChanged);
    });
}

// Forces the outputs to the device before their originals may go. False
// when the task must end here (the failure has been published).
bool ScanViewModel::makeOutputsDurable(const TaskLink& link, const std::vector<std::filesystem::path>& outputs) {
    try {
        makeDurable(outputs);
        return !link.isCancelled();
    } catch (const std::exception& error) {
        if (link.isCancelled()) return false;
        publishConversionFailure(link, error.what());
        return false;
    }
}

// Proves that nothing is lost: every output read back against its source,
// every dropped channel shown redundant again. False when the task must end
// here (cancelled, or an output failed, which has been published).
bool ScanViewModel::verifyOutputs(const TaskLink& link, const std::vector<SourceProof>& proofs) {
    auto progress = [&link](std::size_t index, std::size_t count, const std::string& source, double fraction) {
        auto state = ConversionState::converting((double(index) + fraction) / double(count), "Verifying " + source,
                                                 int(index) + 1, int(count));
        link.post([state = std::move(state)](ScanViewModel& vm) { vm.publishConversionProgress(state); });
    };
    try {
        return OutputVerifier::prove(proofs, link.token(), progress) && !link.isCancelled();
    } catch (const std::exception& error) {
        if (link.isCancelled()) return false;
        publishConversionFailure(link, error.what());
        return false;
    }
}

// Publishes the success, handles the originals (here, off the GUI thread:
// a move across file systems copies whole files), then hands over to the
// GUI thread for the rescan.
void ScanViewModel::finishConversion(const TaskLink& link, const ConversionInput& input, std::vector<Path> outputs) {
    ConversionOutcome outcome = outcomeOf(input.job.plan, outputs);
    const std::vector<OriginalWithOutputs> originals = originalsWithOutputs(input.job.plan, outputs);
    link.post([outputs = std::move(outputs)](ScanViewModel& vm) mutable {
        vm.publish(vm.conversionState_, ConversionState::completedWith(std::move(outputs)),
                   &ScanViewModel::conversionStateChanged);
        vm.publishSelection({});
    });
    // A task cancelled even now (reset, a new conversion, the window
    // closing) leaves the originals alone: not touching them is always safe.
    if (link.isCancelled()) return;
    const std::string stamp = input.backupTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")).toStdString();
    outcome.originals =
        handleOriginalFiles(originals, input.job.settings.originalFileHandling, input.folder, backupFolderName(stamp),
                            [&outcome](const std::string& line) { outcome.problems.push_back(line); });
    link.postFinal([outcome = std::move(outcome)](ScanViewModel& vm, const Promise& promise) mutable {
        vm.publish(vm.convertedOriginalPaths_, {}, &ScanViewModel::convertedOriginalPathsChanged);
        vm.publish(vm.lastConversionOutcome_, std::optional(std::move(outcome)),
                   &ScanViewModel::lastConversionOutcomeChanged);
        vm.completeConversion(promise);
    });
}

// The last step on the GUI thread: rescan the folder, if there is one and
// the caller wants it, and let the caller's future finish when that scan has.
void ScanViewModel::completeConversion(const Promise& promise) {
    if (!selectedFolderPath_ || !scanOptions_.rescanAfterConversion) return promise->finish();
    auto* watcher = new QFutureWatcher<void>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [watcher, promise] {
        promise->finish();
        watcher->deleteLater();
    });
    beginScan(true);
    watcher->setFuture(launchScan({{}, {*selectedFolderPath_}, nullptr, nullptr}));
}

}  // namespace twinfold
