#include "records/ScanResult.h"

#include "records/SourceFormat.h"

#include <cmath>

namespace twinfold {

std::string_view title(ChannelSelection selection) {
    return selection == ChannelSelection::right ? "Right Channel" : "Left Channel";
}

namespace {

bool hasNoAudio(const MultichannelAnalysis& analysis) {
    return !analysis.channels.empty() && analysis.silentChannelIndices().size() == analysis.channels.size();
}

std::int64_t savingsFor(const ScanResultFields& r) {
    if (r.unreadableReason) return 0;
    if (r.multichannelAnalysis && hasNoAudio(*r.multichannelAnalysis)) return 0;
    if (r.multichannelAnalysis) {
        auto removable = r.multichannelAnalysis->removableChannelIndices();
        if (!removable.empty() && r.fileInfo.channelCount > 0) {
            return std::int64_t(removable.size()) * r.fileInfo.fileSize / r.fileInfo.channelCount;
        }
    }
    bool oneChannelIsEnough = r.isDualMono || r.isPannedMono || r.isPhaseInverted ||
                              r.silentChannel == SilentChannelStatus::left ||
                              r.silentChannel == SilentChannelStatus::right;
    if (!oneChannelIsEnough) return 0;
    // A compressed source becomes a larger PCM file, so nothing is saved.
    return r.fileInfo.sourceFormatID == kFormatLinearPCM ? r.fileInfo.fileSize / 2 : 0;
}

}  // namespace

ScanResult::ScanResult(ScanResultFields fields)
    : ScanResultFields(std::move(fields)), id(Uuid::random()), potentialSavings(savingsFor(*this)) {}

std::string ScanResult::statusText() const {
    if (unreadableReason) return "Unreadable";
    if (multichannelAnalysis && hasNoAudio(*multichannelAnalysis)) return "No Audio Content";
    if (multichannelAnalysis) return multichannelAnalysis->summaryText();
    if (fileInfo.channelCount < 2) return "Already Mono";
    switch (silentChannel) {
    case SilentChannelStatus::left: return "Silent Left Channel";
    case SilentChannelStatus::right: return "Silent Right Channel";
    case SilentChannelStatus::both: return "No Audio Content";
    case SilentChannelStatus::none: break;
    }
    if (isPhaseInverted) return "Phase Inverted";
    if (isDualMono) return "Dual Mono";
    if (isPannedMono) {
        std::string side = pannedMonoLouderChannel == ChannelSelection::right ? "R" : "L";
        return "Mono Panned " + std::to_string(pannedMonoPanPercent.value_or(0)) + "% " + side;
    }
    return "True Stereo";
}

bool ScanResult::isConvertible() const {
    if (unreadableReason) return false;
    if (multichannelAnalysis && hasNoAudio(*multichannelAnalysis)) return false;
    if (multichannelAnalysis) return !multichannelAnalysis->removableChannelIndices().empty();
    if (fileInfo.channelCount != 2 || silentChannel == SilentChannelStatus::both) return false;
    return silentChannel == SilentChannelStatus::left || silentChannel == SilentChannelStatus::right || isDualMono ||
           isPannedMono || isPhaseInverted;
}

bool ScanResult::differsFromAPan() const {
    // Compressed sources are exempt: their codec noise differs per channel.
    if (!isPannedMono || !panResidual || fileInfo.sourceFormatID != kFormatLinearPCM) return false;
    return panResidual->relativedB > differingResidualdB && panResidual->peakMeasured &&
           panResidual->peak > silenceThresholdLinear;
}

std::string ScanResult::differenceText() const {
    if (!differsFromAPan()) return {};
    return "differs by " + std::to_string(int(std::lround(panResidual->relativedB))) + " dB";
}

// On the path's text, without building its parts: asked of every result
// when a scan ends, and of every row when the table sorts.
bool ScanResult::isInBackupFolder() const {
    constexpr std::string_view prefix = "Twinfold Backup ";
    const std::string_view path = fileInfo.path.native();
    const std::size_t fileName = path.find_last_of('/');  // folders end before it
    if (fileName == std::string_view::npos) return false;
    for (std::size_t at = path.find(prefix); at < fileName; at = path.find(prefix, at + 1)) {
        if (at == 0 || path[at - 1] == '/') return true;
    }
    return false;
}

bool ScanResult::isSelectedAfterScan() const { return isConvertible() && !isInBackupFolder() && !differsFromAPan(); }

}  // namespace twinfold
