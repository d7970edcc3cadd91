#pragma once

#include "records/FileIdentity.h"
#include "records/Uuid.h"

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace twinfold {

// The errors of building the description of a split .L/.R pair.
class SplitStereoError : public std::runtime_error {
public:
    enum class Case { mismatchedSampleRate, mismatchedFrameCount, mismatchedBitDepth, invalidFilename, notMono };
    explicit SplitStereoError(Case c);
    Case errorCase() const { return case_; }
    static const char* description(Case c);

private:
    Case case_;
};

// A file's extension as fileExtension holds it: lower-cased, without the dot.
std::string lowerExtension(const std::filesystem::path& path);

// One audio file (or one split stereo pair) as found on disk.
struct AudioFileInfo {
    Uuid id;
    std::filesystem::path path;  // for a split pair: the left file
    std::string filename;        // for a split pair: the combined name (Kick.wav)
    std::string fileExtension;   // lower-cased, without the dot
    std::int64_t fileSize = 0;   // for a split pair: both files
    double sampleRate = 0;
    int bitDepth = 0;
    // What the samples are stored as (8, 24, 64 bits; float or integer),
    // for display and sizes; 0 when not known (a compressed source).
    int storedBits = 0;
    bool isFloat = false;
    int channelCount = 0;
    double duration = 0;  // seconds
    std::uint32_t sourceFormatID = 0;
    FileIdentity identity;        // of `path` when it was described
    FileIdentity pairedIdentity;  // of the right file of a split pair

    std::string sampleRateText() const;  // 48k, 44.1k
    std::string durationText() const;    // m:ss, minutes unbounded

    bool operator==(const AudioFileInfo&) const = default;
};

}  // namespace twinfold
