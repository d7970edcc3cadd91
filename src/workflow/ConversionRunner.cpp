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

// The side of a split pair that the converter keeps: never a silent one,
// otherwise the one asked for (left by default).
const fs::path& keptPairSide(const ScanResult& pair, std::optional<ChannelSelection> selection) {
    if (pair.silentChannel == SilentChannelStatus::left) return *pair.pairedFileURL;
    if (pair.silentChannel == SilentChannelStatus::right) return pair.fileInfo.url;
    return selection == ChannelSelection::right ? *pair.pairedFileURL : pair.fileInfo.url;
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
                                                       : ChannelSelection::left);
                      }) &&
           eachResult(groups.phaseInverted, [this](const ScanResult& r) { convertPhaseInverted(r); }) &&
           eachResult(groups.splitPairs, [this](const ScanResult& r) { convertSplitPair(r); }) &&
           eachResult(groups.multichannel, [this](const ScanResult& r) { convertMultichannel(r); });
}

// Whether the call may go ahead: the test seam runs first, so a cancel it
// causes is honoured before anything is written.
bool ConversionRunner::startCall(const ScanResult& result) {
    if (beforeCall_) beforeCall_(result);
    return !cancelled_.load();
}

bool ConversionRunner::runDualMono(const std::vector<ScanResult>& group) {
    if (group.empty()) return true;
    if (!startCall(group.front())) return false;
    const int base = done_;
    auto onFile = [this, base](int started, int, const std::string& name, double) {
        // convertFiles clears the converter's flag when it starts: a cancel
        // that came just before must be passed on again.
        if (cancelled_.load()) converter_.cancel();
        if (progress_) progress_(double(base + started) / total_, name, base + started, total_);
    };
    const auto written = converter_.convertFiles(group, job_.settings, onFile);
    for (std::size_t i = 0; i < written.size() && i < group.size(); ++i) {
        outputs_.push_back(written[i]);
        record(written[i], group[i].fileInfo.url, {0}, target_);
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

void ConversionRunner::record(const fs::path& output, const fs::path& source, std::vector<int> channels,
                              std::optional<float> target) {
    provenance_.push_back({output, source, std::move(channels), target});
}

void ConversionRunner::convertPanned(const ScanResult& r) {
    const std::string extra = job_.settings.includePanInFilename ? panSuffix(r) : std::string();
    const fs::path output = outputURL(r.fileInfo.url, job_.settings, extra);
    const ChannelSelection louder = r.pannedMonoLouderChannel.value_or(ChannelSelection::left);
    converter_.convertToMono(r.fileInfo.url, output, louder, target_, fileProgress(r));
    outputs_.push_back(output);
    record(output, r.fileInfo.url, {channelIndex(louder)}, target_);
}

void ConversionRunner::convertKeepingChannel(const ScanResult& r, ChannelSelection channel) {
    const fs::path output = outputURL(r.fileInfo.url, job_.settings);
    converter_.convertToMono(r.fileInfo.url, output, channel, target_, fileProgress(r));
    outputs_.push_back(output);
    record(output, r.fileInfo.url, {channelIndex(channel)}, target_);
}

void ConversionRunner::convertPhaseInverted(const ScanResult& r) {
    switch (job_.phaseFixOption) {
    case PhaseFixOption::useLeft: return convertKeepingChannel(r, ChannelSelection::left);
    case PhaseFixOption::useRight: return convertKeepingChannel(r, ChannelSelection::right);
    case PhaseFixOption::splitToTwo: break;
    }
    const OutputPair outputs = splitOutputURLs(r.fileInfo.url, job_.settings);
    converter_.splitToTwoMono(r.fileInfo.url, outputs.left, outputs.right, target_, fileProgress(r));
    outputs_.insert(outputs_.end(), {outputs.left, outputs.right});
    record(outputs.left, r.fileInfo.url, {0}, target_);
    record(outputs.right, r.fileInfo.url, {1}, target_);
}

void ConversionRunner::convertSplitPair(const ScanResult& r) {
    if (r.isPhaseInverted && job_.phaseFixOption == PhaseFixOption::splitToTwo) {
        const auto written = converter_.convertSplitPairToTwo(r, job_.settings, fileProgress(r));
        outputs_.insert(outputs_.end(), written.begin(), written.end());
        if (written.size() == 2 && r.pairedFileURL) {
            record(written[0], r.fileInfo.url, {0}, target_);
            record(written[1], *r.pairedFileURL, {0}, target_);
        }
        return;
    }
    std::optional<ChannelSelection> selection;
    if (r.isPhaseInverted) {
        selection = job_.phaseFixOption == PhaseFixOption::useRight ? ChannelSelection::right : ChannelSelection::left;
    } else if (r.isPannedMono) {
        selection = r.pannedMonoLouderChannel.value_or(ChannelSelection::left);
    }
    const fs::path output = converter_.convertSplitPairToMono(r, selection, job_.settings, fileProgress(r));
    outputs_.push_back(output);
    if (r.pairedFileURL) record(output, keptPairSide(r, selection), {0}, target_);
}

void ConversionRunner::convertMultichannel(const ScanResult& r) {
    if (job_.multichannelOption == MultichannelConversionOption::splitAllToMono) {
        const auto written = converter_.splitAllChannels(r.fileInfo.url, std::nullopt, job_.settings, fileProgress(r));
        outputs_.insert(outputs_.end(), written.begin(), written.end());
        for (std::size_t k = 0; k < written.size(); ++k) record(written[k], r.fileInfo.url, {int(k)}, std::nullopt);
        return;
    }
    const std::set<int> removable = r.multichannelAnalysis->removableChannelIndices();
    std::vector<int> keep;
    for (int c = 0; c < r.fileInfo.channelCount; ++c) {
        if (!removable.count(c)) keep.push_back(c);
    }
    const fs::path output = outputURL(r.fileInfo.url, job_.settings);
    converter_.removeRedundantChannels(r.fileInfo.url, output, keep, fileProgress(r));
    outputs_.push_back(output);
    record(output, r.fileInfo.url, keep, std::nullopt);
}

}  // namespace twinfold
