#pragma once

// The measurements behind a verdict, taken in the analysis's own pass over
// the file. The small numbers travel with every result; the pictures (a few
// KB per file) are kept in the analysis cache and loaded when a row is shown.

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace twinfold {

constexpr float minusInfinitydB = -std::numeric_limits<float>::infinity();

// One channel's levels.
struct ChannelEvidence {
    float peakdBFS = minusInfinitydB;
    float rmsdBFS = minusInfinitydB;
    double dcOffset = 0;    // mean sample value, full scale 1.0
    bool isSilent = false;  // at the scan's silence threshold
    std::string trackName;  // the recorder's name for it (iXML), empty when none

    bool operator==(const ChannelEvidence&) const = default;
};

// How the two channels of a stereo file (or split pair) relate.
struct PairEvidence {
    double correlation = 0;                           // Pearson, 0 when a side is silent
    float maxDifferencedBFS = minusInfinitydB;        // largest |L − R|
    std::optional<std::int64_t> firstDifferingFrame;  // none when L and R are identical
    float maxSumdBFS = minusInfinitydB;               // largest |L + R|
    std::optional<float> panGaindB;                   // quieter = gain × louder (panned verdicts)

    bool operator==(const PairEvidence&) const = default;
};

// The light part, carried by every result.
struct FileEvidence {
    std::vector<ChannelEvidence> channels;
    std::optional<PairEvidence> pair;

    bool operator==(const FileEvidence&) const = default;
};

// One channel's overview: the smallest and largest sample in each column.
struct ChannelOverview {
    std::vector<float> minima;
    std::vector<float> maxima;

    bool operator==(const ChannelOverview&) const = default;
};

// The pictures: a goniometer (mid/side density over the whole file, for two
// channels) and an overview of every channel.
struct EvidencePictures {
    static constexpr int goniometerSize = 64;
    static constexpr int overviewColumns = 256;
    // goniometerSize × goniometerSize counts, row-major; row 0 is mid = +1
    // (top), column 0 is side = −1 (left). Empty for files without two channels.
    std::vector<std::uint32_t> goniometer;
    std::vector<ChannelOverview> overviews;  // one per channel

    bool operator==(const EvidencePictures&) const = default;
};

}  // namespace twinfold
