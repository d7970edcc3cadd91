#include "conversion/ConversionPlan.h"

#include "conversion/OutputFormat.h"
#include "conversion/OutputNaming.h"

#include <map>
#include <set>
#include <system_error>

namespace twinfold {

namespace fs = std::filesystem;

namespace {

// The longest file name Linux file systems take, in bytes.
constexpr std::size_t kNameMax = 255;

// The kind a result is converted as, which also fixes the conversion order.
enum class Group { dualMono, pannedMono, silentChannel, phaseInverted, splitPair, multichannel, none };

Group groupOf(const ScanResult& r) {
    if (!r.isConvertible()) return Group::none;
    if (r.multichannelAnalysis) return Group::multichannel;
    if (r.pairedFilePath) return Group::splitPair;
    if (r.isDualMono) return Group::dualMono;
    if (r.isPannedMono) return Group::pannedMono;
    if (onlyAudibleChannel(r)) return Group::silentChannel;
    if (r.isPhaseInverted) return Group::phaseInverted;
    return Group::none;
}

// Why the side of a stereo result that is not kept may go.
Redundancy droppedSideReason(const ScanResult& r) {
    if (onlyAudibleChannel(r)) return Redundancy::silent;
    if (r.isDualMono) return Redundancy::identicalTo;
    if (r.isPannedMono) return Redundancy::scaledCopyOf;
    return Redundancy::invertedCopyOf;
}

// The channel a stereo result (or split pair) keeps: never a silent one;
// the louder side of a pan; the side asked for of a phase-inverted one.
int keptChannel(const ScanResult& r, const PlanOptions& options) {
    if (const auto audible = onlyAudibleChannel(r)) return *audible;
    if (r.isPannedMono) return channelIndex(r.pannedMonoLouderChannel.value_or(ChannelSelection::left));
    if (r.isPhaseInverted) return options.phaseFixOption == PhaseFixOption::useRight ? 1 : 0;
    return 0;
}

void keepOne(PlannedConversion& item, const fs::path& output, const PlanOptions& options, std::optional<float> target) {
    const int kept = keptChannel(item.result, options);
    item.outputs = {{output, {kept}, target}};
    item.dropped = {{1 - kept, droppedSideReason(item.result), kept}};
}

void planStereo(PlannedConversion& item, const AppSettings& settings, const PlanOptions& options) {
    const ScanResult& r = item.result;
    const std::optional<float> target = normalizationTarget(settings);
    if (r.isPhaseInverted && options.phaseFixOption == PhaseFixOption::splitToTwo) {
        const OutputPair two = splitOutputPaths(r.fileInfo.path, settings);
        item.operation = PlannedOperation::splitStereo;
        item.outputs = {{two.left, {0}, target}, {two.right, {1}, target}};
        return;
    }
    const std::string extra = r.isPannedMono && settings.includePanInFilename ? panSuffix(r) : std::string();
    item.operation = PlannedOperation::keepOneChannel;
    keepOne(item, outputPath(r.fileInfo.path, settings, extra), options, target);
}

void planPair(PlannedConversion& item, const AppSettings& settings, const PlanOptions& options) {
    const ScanResult& r = item.result;
    const std::optional<float> target = normalizationTarget(settings);
    if (r.isPhaseInverted && options.phaseFixOption == PhaseFixOption::splitToTwo) {
        const OutputPair two = pairSplitOutputPaths(r, settings);
        item.operation = PlannedOperation::copyBothPairSides;
        item.outputs = {{two.left, {0}, target}, {two.right, {1}, target}};
        return;
    }
    fs::path output = pairOutputPath(r, settings);
    // A normalised side is rewritten as PCM, which an encoded format's name
    // must not carry; an unscaled side is copied byte for byte.
    if (target && isLossyExtension(lowerExtension(output))) output.replace_extension("wav");
    item.operation = PlannedOperation::copyPairSide;
    keepOne(item, output, options, target);
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

void planMultichannel(PlannedConversion& item, const AppSettings& settings, const PlanOptions& options) {
    const ScanResult& r = item.result;
    const int channels = r.fileInfo.channelCount;
    if (options.multichannelOption == MultichannelConversionOption::splitAllToMono) {
        item.operation = PlannedOperation::splitAllChannels;
        const std::vector<std::string> tracks =
            settings.nameSplitsByTrackName ? usableTrackNames(r) : std::vector<std::string>();
        for (int c = 0; c < channels; ++c) {
            const fs::path path = tracks.empty() ? channelFilePath(r.fileInfo.path, settings, c, channels)
                                                 : trackFilePath(r.fileInfo.path, settings, tracks[std::size_t(c)]);
            item.outputs.push_back({path, {c}, std::nullopt});
        }
        return;
    }
    const std::set<int> removable = r.multichannelAnalysis->removableChannelIndices();
    std::vector<int> keep;
    for (int c = 0; c < channels; ++c) {
        if (!removable.count(c)) keep.push_back(c);
    }
    item.operation = PlannedOperation::removeChannels;
    item.outputs = {{outputPath(r.fileInfo.path, settings), keep, std::nullopt}};
    item.dropped = droppedMultichannel(*r.multichannelAnalysis);
}

bool existsOrLinks(const fs::path& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

// Every clash of every output, found before anything is written.
void findClashes(ConversionPlan& plan) {
    std::set<fs::path> sources;
    std::map<fs::path, int> uses;
    for (const PlannedConversion& item : plan.items) {
        sources.insert(item.files.begin(), item.files.end());
        for (const PlannedOutput& output : item.outputs) ++uses[output.path.lexically_normal()];
    }
    for (PlannedConversion& item : plan.items) {
        for (const PlannedOutput& output : item.outputs) {
            const fs::path path = output.path.lexically_normal();
            std::optional<ClashKind> kind;
            if (path.filename().string().size() > kNameMax)
                kind = ClashKind::nameTooLong;
            else if (sources.count(path))
                kind = ClashKind::overwritesSource;
            else if (uses[path] > 1)
                kind = ClashKind::sharedOutput;
            else if (existsOrLinks(path))
                kind = ClashKind::exists;
            if (kind) item.clashes.push_back({output.path, *kind});
        }
    }
}

}  // namespace

std::string describe(const DroppedChannel& dropped) {
    const std::string reference = "channel " + std::to_string(dropped.reference + 1);
    switch (dropped.reason) {
    case Redundancy::identicalTo: return "identical to " + reference;
    case Redundancy::invertedCopyOf: return "inverted copy of " + reference;
    case Redundancy::scaledCopyOf: return "scaled copy of " + reference;
    case Redundancy::silent: return "silent";
    }
    return {};
}

std::string PlannedClash::text() const {
    const std::string name = output.filename().string();
    switch (kind) {
    case ClashKind::sharedOutput: return name + ": another selected file would be written under this name";
    case ClashKind::exists: return name + ": a file of this name already exists";
    case ClashKind::nameTooLong: return name + ": the name is longer than 255 bytes";
    case ClashKind::overwritesSource: return name + ": the output would replace its source (the suffix is empty)";
    }
    return name;
}

std::vector<PlannedClash> ConversionPlan::clashes() const {
    std::vector<PlannedClash> all;
    for (const PlannedConversion& item : items) all.insert(all.end(), item.clashes.begin(), item.clashes.end());
    return all;
}

std::size_t ConversionPlan::outputCount() const {
    std::size_t count = 0;
    for (const PlannedConversion& item : items) count += item.outputs.size();
    return count;
}

ConversionPlan ConversionPlan::withoutClashes() const {
    ConversionPlan plan;
    for (const PlannedConversion& item : items) {
        if (item.clashes.empty()) plan.items.push_back(item);
    }
    return plan;
}

ConversionPlan planConversion(const std::vector<ScanResult>& results, const AppSettings& settings,
                              const PlanOptions& options) {
    ConversionPlan plan;
    for (Group group : {Group::dualMono, Group::pannedMono, Group::silentChannel, Group::phaseInverted,
                        Group::splitPair, Group::multichannel}) {
        for (const ScanResult& r : results) {
            if (groupOf(r) != group) continue;
            PlannedConversion item{r};
            item.files = {r.fileInfo.path};
            if (r.pairedFilePath) item.files.push_back(*r.pairedFilePath);
            if (group == Group::multichannel)
                planMultichannel(item, settings, options);
            else if (group == Group::splitPair)
                planPair(item, settings, options);
            else
                planStereo(item, settings, options);
            plan.items.push_back(std::move(item));
        }
    }
    findClashes(plan);
    return plan;
}

}  // namespace twinfold
