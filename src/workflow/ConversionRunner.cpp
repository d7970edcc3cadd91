#include "workflow/ConversionRunner.h"

#include "conversion/AudioConverterService.h"
#include "conversion/OutputNaming.h"

#include <numeric>

namespace twinfold {

namespace fs = std::filesystem;

namespace {

int channelIndex(ChannelSelection channel) { return channel == ChannelSelection::right ? 1 : 0; }

bool hasOneSilentSide(const ScanResult& r) {
    return r.silentChannel == SilentChannelStatus::left || r.silentChannel == SilentChannelStatus::right;
}

// The side of a split pair that the converter keeps (0 left, 1 right):
// never a silent one, otherwise the one asked for (left by default).
int keptPairSide(const ScanResult& pair, std::optional<ChannelSelection> selection) {
    if (pair.silentChannel == SilentChannelStatus::left) return 1;
    if (pair.silentChannel == SilentChannelStatus::right) return 0;
    return selection == ChannelSelection::right ? 1 : 0;
}

// The channels a reduction leaves out: silent ones, and copies of the first
// channel of their group.
std::vector<DroppedChannel> droppedMultichannel(const MultichannelAnalysis& analysis) {
    std::vector<DroppedChannel> dropped;
    const std::set<int> silent = analysis.silentChannelIndices();
    for (int c : silent) dropped.push_back({c, Redundancy::silent});
    for (const std::vector<int>& group : analysis.duplicateGroups()) {
        for (std::size_t k = 1; k < group.size(); ++k) {
            if (!silent.count(group[k])) dropped.push_back({group[k], Redundancy::identicalTo, group.front()});
        }
    }
    return dropped;
}

}  // namespace

int ConversionGroups::total() const {
    return int(dualMono.size() + pannedMono.size() + silentChannel.size() + phaseInverted.size() +
               splitPairs.size() + multichannel.size());
}

ConversionGroups groupForConversion(const std::vector<ScanResult>& results) {
    ConversionGroups groups;
    for (const ScanResult& r : results) {
        if (r.multichannelAnalysis) groups.multichannel.push_back(r);
        else if (r.pairedFileURL) groups.splitPairs.push_back(r);
        else if (r.isDualMono) groups.dualMono.push_back(r);
        else if (r.isPannedMono) groups.pannedMono.push_back(r);
        else if (hasOneSilentSide(r)) groups.silentChannel.push_back(r);
        else if (r.isPhaseInverted) groups.phaseInverted.push_back(r);
    }
    return groups;
}

std::vector<fs::path> originalsOf(const std::vector<ScanResult>& results) {
    std::vector<fs::path> originals;
    for (const ScanResult& r : results) {
        originals.push_back(r.fileInfo.url);
        if (r.pairedFileURL) originals.push_back(*r.pairedFileURL);
    }
    return originals;
}

std::optional<float> normalizationTarget(const AppSettings& settings) {
    return settings.normalizationEnabled ? std::optional(settings.normalizationTargetdBFS) : std::nullopt;
}

ConversionRunner::ConversionRunner(AudioConverterService& converter, const ConversionJob& job,
                                   const std::atomic<bool>& cancelled, Progress progress, BeforeCall beforeCall)
    : converter_(converter), job_(job), cancelled_(cancelled), progress_(std::move(progress)),
      beforeCall_(std::move(beforeCall)), target_(normalizationTarget(job.settings)) {}

bool ConversionRunner::run() {
    const ConversionGroups groups = groupForConversion(job_.results);
    total_ = groups.total();
    done_ = 0;
    return runDualMono(groups.dualMono) &&
           eachResult(groups.pannedMono, [this](const ScanResult& r) { convertPanned(r); }) &&
           eachResult(groups.silentChannel,
                      [this](const ScanResult& r) {
                          convertKeepingChannel(r, r.silentChannel == SilentChannelStatus::left
                                                       ? ChannelSelection::right
                                                       : ChannelSelection::left,
                                                Redundancy::silent);
                      }) &&
           eachResult(groups.phaseInverted, [this](const ScanResult& r) { convertPhaseInverted(r); }) &&
           eachResult(groups.splitPairs, [this](const ScanResult& r) { convertSplitPair(r); }) &&
           eachResult(groups.multichannel, [this](const ScanResult& r) { convertMultichannel(r); });
}

// The files of a result as the scan saw them: the file, and the right file
// of a split pair.
static std::vector<ProvenFile> scannedFiles(const ScanResult& r) {
    std::vector<ProvenFile> files{{r.fileInfo.url, r.fileInfo.identity}};
    if (r.pairedFileURL) files.push_back({*r.pairedFileURL, r.fileInfo.pairedIdentity});
    return files;
}

// Whether the call may go ahead: the test seam runs first, so a cancel it
// causes is honoured before anything is written. A file that changed since
// the scan is not converted on the old verdict.
bool ConversionRunner::startCall(const ScanResult& result) {
    if (beforeCall_) beforeCall_(result);
    if (cancelled_.load()) return false;
    for (const ProvenFile& file : scannedFiles(result)) requireUnchanged(file);
    return true;
}

static void requireAllUnchanged(const std::vector<ScanResult>& results) {
    for (const ScanResult& r : results) {
        for (const ProvenFile& file : scannedFiles(r)) requireUnchanged(file);
    }
}

bool ConversionRunner::runDualMono(const std::vector<ScanResult>& group) {
    if (group.empty()) return true;
    if (!startCall(group.front())) return false;
    requireAllUnchanged(group);
    const int base = done_;
    auto onFile = [this, base](int started, int, const std::string& name, double) {
        // convertFiles clears the converter's flag when it starts: a cancel
        // that came just before must be passed on again.
        if (cancelled_.load()) converter_.cancel();
        if (progress_) progress_(double(base + started) / total_, name, base + started, total_);
    };
    const auto outputs = converter_.convertFiles(group, job_.settings, onFile);
    for (std::size_t i = 0; i < outputs.size() && i < group.size(); ++i) {
        SourceProof& proof = prove(group[i]);
        written(proof, outputs[i], {0}, target_);
        proof.dropped.push_back({1, Redundancy::identicalTo, 0});
    }
    done_ += int(group.size());
    return !cancelled_.load();
}

template <typename Convert>
bool ConversionRunner::eachResult(const std::vector<ScanResult>& group, Convert convert) {
    for (const ScanResult& result : group) {
        if (!startCall(result)) return false;
        convert(result);
        ++done_;
        if (cancelled_.load()) return false;
    }
    return true;
}

std::function<void(double)> ConversionRunner::fileProgress(const ScanResult& result) {
    return [this, name = result.fileInfo.filename](double fraction) {
        if (cancelled_.load()) converter_.cancel();
        if (progress_) progress_((done_ + fraction) / total_, name, done_ + 1, total_);
    };
}

SourceProof& ConversionRunner::prove(const ScanResult& result) {
    proofs_.push_back({scannedFiles(result), {}, {}, result.silenceThresholdLinear});
    return proofs_.back();
}

void ConversionRunner::written(SourceProof& proof, const fs::path& output, std::vector<int> channels,
                               std::optional<float> target) {
    outputs_.push_back(output);
    proof.outputs.push_back({output, std::move(channels), target});
}

void ConversionRunner::convertPanned(const ScanResult& r) {
    const std::string extra = job_.settings.includePanInFilename ? panSuffix(r) : std::string();
    const fs::path output = outputURL(r.fileInfo.url, job_.settings, extra);
    const ChannelSelection louder = r.pannedMonoLouderChannel.value_or(ChannelSelection::left);
    converter_.convertToMono(r.fileInfo.url, output, louder, target_, fileProgress(r));
    SourceProof& proof = prove(r);
    written(proof, output, {channelIndex(louder)}, target_);
    proof.dropped.push_back({1 - channelIndex(louder), Redundancy::scaledCopyOf, channelIndex(louder)});
}

void ConversionRunner::convertKeepingChannel(const ScanResult& r, ChannelSelection channel, Redundancy otherSide) {
    const fs::path output = outputURL(r.fileInfo.url, job_.settings);
    converter_.convertToMono(r.fileInfo.url, output, channel, target_, fileProgress(r));
    SourceProof& proof = prove(r);
    written(proof, output, {channelIndex(channel)}, target_);
    proof.dropped.push_back({1 - channelIndex(channel), otherSide, channelIndex(channel)});
}

void ConversionRunner::convertPhaseInverted(const ScanResult& r) {
    switch (job_.phaseFixOption) {
    case PhaseFixOption::useLeft: return convertKeepingChannel(r, ChannelSelection::left, Redundancy::invertedCopyOf);
    case PhaseFixOption::useRight:
        return convertKeepingChannel(r, ChannelSelection::right, Redundancy::invertedCopyOf);
    case PhaseFixOption::splitToTwo: break;
    }
    const OutputPair outputs = splitOutputURLs(r.fileInfo.url, job_.settings);
    converter_.splitToTwoMono(r.fileInfo.url, outputs.left, outputs.right, target_, fileProgress(r));
    SourceProof& proof = prove(r);
    written(proof, outputs.left, {0}, target_);
    written(proof, outputs.right, {1}, target_);
}

// Why the side of a stereo result that is not kept may go.
static Redundancy droppedSideReason(const ScanResult& r) {
    if (r.silentChannel == SilentChannelStatus::left || r.silentChannel == SilentChannelStatus::right) {
        return Redundancy::silent;
    }
    if (r.isDualMono) return Redundancy::identicalTo;
    if (r.isPannedMono) return Redundancy::scaledCopyOf;
    return Redundancy::invertedCopyOf;
}

void ConversionRunner::convertSplitPair(const ScanResult& r) {
    if (r.isPhaseInverted && job_.phaseFixOption == PhaseFixOption::splitToTwo) {
        const auto outputs = converter_.convertSplitPairToTwo(r, job_.settings, fileProgress(r));
        SourceProof& proof = prove(r);
        for (std::size_t k = 0; k < outputs.size(); ++k) written(proof, outputs[k], {int(k)}, target_);
        return;
    }
    std::optional<ChannelSelection> selection;
    if (r.isPhaseInverted) {
        selection = job_.phaseFixOption == PhaseFixOption::useRight ? ChannelSelection::right : ChannelSelection::left;
    } else if (r.isPannedMono) {
        selection = r.pannedMonoLouderChannel.value_or(ChannelSelection::left);
    }
    const fs::path output = converter_.convertSplitPairToMono(r, selection, job_.settings, fileProgress(r));
    const int kept = keptPairSide(r, selection);
    SourceProof& proof = prove(r);
    written(proof, output, {kept}, target_);
    proof.dropped.push_back({1 - kept, droppedSideReason(r), kept});
}

void ConversionRunner::convertMultichannel(const ScanResult& r) {
    if (job_.multichannelOption == MultichannelConversionOption::splitAllToMono) {
        const auto outputs = converter_.splitAllChannels(r.fileInfo.url, std::nullopt, job_.settings, fileProgress(r));
        SourceProof& proof = prove(r);
        for (std::size_t k = 0; k < outputs.size(); ++k) written(proof, outputs[k], {int(k)}, std::nullopt);
        return;
    }
    const MultichannelAnalysis& analysis = *r.multichannelAnalysis;
    const std::set<int> removable = analysis.removableChannelIndices();
    std::vector<int> keep;
    for (int c = 0; c < r.fileInfo.channelCount; ++c) {
        if (!removable.count(c)) keep.push_back(c);
    }
    const fs::path output = outputURL(r.fileInfo.url, job_.settings);
    converter_.removeRedundantChannels(r.fileInfo.url, output, keep, fileProgress(r));
    SourceProof& proof = prove(r);
    written(proof, output, keep, std::nullopt);
    proof.dropped = droppedMultichannel(analysis);
}

}  // namespace twinfold
