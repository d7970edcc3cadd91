#pragma once

#include "records/AudioFileInfo.h"
#include "records/Boxed.h"
#include "records/ChannelAnalysis.h"
#include "records/FileEvidence.h"
#include "records/Uuid.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <limits>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace twinfold {

// Which channels of a stereo file are silent; `both` means no audio at all.
enum class SilentChannelStatus { none, left, right, both };

enum class ChannelSelection { left, right };
std::string_view title(ChannelSelection selection);  // "Left Channel", "Right Channel"
// The side's channel in a stereo file: 0 left, 1 right.
constexpr int channelIndex(ChannelSelection side) { return side == ChannelSelection::right ? 1 : 0; }

// The dropped side of a panned-mono file minus the best gain times the kept
// side: its RMS relative to the dropped side's RMS, and its peak.
struct PanResidual {
    float relativedB = -std::numeric_limits<float>::infinity();
    float peak = 0;             // linear, full scale 1.0
    bool peakMeasured = false;  // the peak needs a second read; only taken when it matters

    bool operator==(const PanResidual&) const = default;
};

// A panned-mono verdict whose residual is above this (relative to the
// dropped side), with a peak above the silence threshold, is content the
// conversion would discard: a mix, not a pan.
constexpr float differingResidualdB = -40.0f;

// Everything the analysis decides about a file; the record's identity and
// savings are added by ScanResult itself.
struct ScanResultFields {
    AudioFileInfo fileInfo;
    bool isDualMono = false;
    bool isPannedMono = false;
    std::optional<ChannelSelection> pannedMonoLouderChannel;
    std::optional<int> pannedMonoPanPercent;  // 1…100
    bool isPhaseInverted = false;
    SilentChannelStatus silentChannel = SilentChannelStatus::none;
    double analysisTime = 0;  // seconds
    // The linear level at or below which the analysis called a channel
    // silent (−96 dBFS unless the scan was set otherwise); the proof before
    // an original is touched judges silence by the same level.
    float silenceThresholdLinear = 1.5848932e-5f;
    Boxed<std::filesystem::path> pairedFilePath;  // the right file of a split pair
    Boxed<MultichannelAnalysis> multichannelAnalysis;
    // For a panned-mono verdict: what the dropped side holds beyond a scaled
    // copy of the kept side.
    std::optional<PanResidual> panResidual;
    // Why the file could not be read or analysed; such a file is listed but
    // never converted.
    Boxed<std::string> unreadableReason;
    // Why a file named as one side of a split pair is listed on its own.
    Boxed<std::string> pairingNote;
    // The levels and the pair's relation the verdict rests on.
    FileEvidence evidence;

    bool operator==(const ScanResultFields&) const = default;
};

// The verdict on one analysed file or split pair.
struct ScanResult : ScanResultFields {
    Uuid id;
    std::int64_t potentialSavings = 0;  // bytes that converting would free

    ScanResult() = default;
    explicit ScanResult(ScanResultFields fields);

    std::string statusText() const;
    bool isConvertible() const;
    // "differs by −18 dB" for a panned PCM file whose dropped side carries
    // content of its own (see differingResidualdB); empty otherwise.
    std::string differenceText() const;
    bool differsFromAPan() const;
    // Inside a folder named "Twinfold Backup …": originals a conversion put
    // aside, listed for the user to see but never converted unasked.
    bool isInBackupFolder() const;
    // Whether a scan ticks it: convertible, not a backup, not differing.
    bool isSelectedAfterScan() const;

    bool operator==(const ScanResult&) const = default;
};

// The results `keep` accepts, in their order.
template <typename Keep>
std::vector<ScanResult> filtered(const std::vector<ScanResult>& results, Keep keep) {
    std::vector<ScanResult> out;
    std::copy_if(results.begin(), results.end(), std::back_inserter(out), keep);
    return out;
}

}  // namespace twinfold
