#include "jobs/ConversionRunner.h"

#include "conversion/AudioConverterService.h"

#include <stdexcept>

namespace twinfold {

namespace fs = std::filesystem;

namespace {

// The files of a result as the scan saw them.
std::vector<ProvenFile> scannedFiles(const PlannedConversion& item) {
    std::vector<ProvenFile> files;
    for (std::size_t f = 0; f < item.files.size(); ++f) {
        files.push_back({item.files[f], f == 0 ? item.result.fileInfo.identity : item.result.fileInfo.pairedIdentity});
    }
    return files;
}

ChannelSelection selectionOf(int channel) { return channel == 1 ? ChannelSelection::right : ChannelSelection::left; }

}  // namespace

std::vector<fs::path> originalsOf(const ConversionPlan& plan) {
    std::vector<fs::path> originals;
    for (const PlannedConversion& item : plan.items)
        originals.insert(originals.end(), item.files.begin(), item.files.end());
    return originals;
}

ConversionRunner::ConversionRunner(AudioConverterService& converter, const ConversionJob& job,
                                   const std::atomic<bool>& cancelled, Progress progress, BeforeCall beforeCall)
    : converter_(converter),
      job_(job),
      cancelled_(cancelled),
      progress_(std::move(progress)),
      beforeCall_(std::move(beforeCall)) {}

bool ConversionRunner::run() {
    done_ = 0;
    for (const PlannedConversion& item : job_.plan.items) {
        // The test seam runs first, so a cancel it causes is honoured
        // before anything is written.
        if (beforeCall_) beforeCall_(item.result);
        if (cancelled_.load()) return false;
        // A file that changed since the scan is not converted on the old verdict.
        const std::vector<ProvenFile> files = scannedFiles(item);
        for (const ProvenFile& file : files) requireUnchanged(file);
        executeNamingTheFile(item);
        for (const PlannedOutput& output : item.outputs) outputs_.push_back(output.path);
        proofs_.push_back({files, item.outputs, item.dropped, item.result.silenceThresholdLinear});
        ++done_;
        if (cancelled_.load()) return false;
    }
    return true;
}

// A failure says which file it is about: the converter's own messages often
// name only the fault ("Invalid audio format").
void ConversionRunner::executeNamingTheFile(const PlannedConversion& item) {
    const std::string name = item.result.fileInfo.filename;
    auto named = [&](const std::string& message) {
        return message.find(name) == std::string::npos ? name + ": " + message : message;
    };
    try {
        execute(item);
    } catch (const ConversionError& error) {
        if (error.errorCase() == ConversionError::Case::cancelled || cancelled_.load()) throw;
        throw std::runtime_error(named(error.what()));
    } catch (const VerificationError&) {
        throw;
    } catch (const std::exception& error) {
        if (cancelled_.load()) throw;
        throw std::runtime_error(named(error.what()));
    }
}

void ConversionRunner::execute(const PlannedConversion& item) {
    const int total = int(job_.plan.items.size());
    const ProgressHandler progress = [this, total, name = item.result.fileInfo.filename](double fraction) {
        if (cancelled_.load()) converter_.cancel();
        if (progress_) progress_((done_ + fraction) / total, name, done_ + 1, total);
    };
    progress(0);
    const std::vector<PlannedOutput>& outputs = item.outputs;
    const fs::path& source = item.files.front();
    switch (item.operation) {
    case PlannedOperation::keepOneChannel:
        converter_.convertToMono(source, outputs[0].path, selectionOf(outputs[0].sourceChannels[0]),
                                 outputs[0].targetdBFS, progress);
        return;
    case PlannedOperation::splitStereo:
        converter_.splitToTwoMono(source, outputs[0].path, outputs[1].path, outputs[0].targetdBFS, progress);
        return;
    case PlannedOperation::copyPairSide:
        converter_.writePairSide(item.files.at(std::size_t(outputs[0].sourceChannels[0])), outputs[0].path,
                                 outputs[0].targetdBFS, progress);
        return;
    case PlannedOperation::copyBothPairSides:
        converter_.writeBothPairSides(item.files.at(0), item.files.at(1), {outputs[0].path, outputs[1].path},
                                      outputs[0].targetdBFS, progress);
        return;
    case PlannedOperation::splitAllChannels: {
        std::vector<int> channels;
        std::vector<fs::path> paths;
        for (const PlannedOutput& output : outputs) {
            channels.push_back(output.sourceChannels[0]);
            paths.push_back(output.path);
        }
        converter_.splitChannels(source, channels, paths, progress);
        return;
    }
    case PlannedOperation::removeChannels:
        converter_.removeRedundantChannels(source, outputs[0].path, outputs[0].sourceChannels, progress);
        return;
    }
}

}  // namespace twinfold
