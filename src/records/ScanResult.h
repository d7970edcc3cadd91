#pragma once

#include "records/AudioFileInfo.h"
#include "records/ChannelAnalysis.h"
#include "records/Uuid.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace twinfold {

// Which channels of a stereo file are silent; `both` means no audio at all.
enum class SilentChannelStatus { none, left, right, both };

enum class ChannelSelection { left, right };
std::string_view rawValue(ChannelSelection selection);  // "Left Channel", "Right Channel"

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
    std::optional<std::filesystem::path> pairedFileURL;  // the right file of a split pair
    std::optional<MultichannelAnalysis> multichannelAnalysis;

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

    bool operator==(const ScanResult&) const = default;
};

}  // namespace twinfold
