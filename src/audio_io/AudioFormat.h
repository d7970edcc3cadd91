#pragma once

#include "records/SourceFormat.h"

#include <cstdint>
#include <optional>
#include <string>

namespace twinfold {

enum class CommonFormat { int16, int32, float32, float64, other };

// The two container families a PCM file is written in: RIFF WAVE (with its
// RF64 and extensible variants) and IFF AIFF (with AIFF-C).
enum class ContainerType { wave, aiff };

// How a file stores its samples (file format) or how it is delivered to
// callers (processing format: always deinterleaved float32, full scale ±1.0).
struct AudioFormatInfo {
    double sampleRate = 0;
    int channelCount = 0;
    CommonFormat commonFormat = CommonFormat::other;
    std::uint32_t formatID = 0;  // kFormatLinearPCM for PCM files
    int bitsPerChannel = 0;      // 0 when the format has no fixed sample size
    bool isFloat = false;        // PCM samples stored as IEEE float
    bool isInterleaved = false;
    // The container the content is in, whatever the file's name says; absent
    // for other containers and compressed streams.
    std::optional<ContainerType> container;

    bool operator==(const AudioFormatInfo&) const = default;
};

// How one sample is laid out in a file's data, byte for byte. Two files whose
// samples are laid out alike can exchange them as bytes, without decoding.
struct StoredSampleFormat {
    enum class Kind { signedInteger, unsignedInteger, ieeeFloat };
    Kind kind = Kind::signedInteger;
    int bytes = 0;
    bool bigEndian = false;  // false for one-byte samples, where order means nothing

    bool operator==(const StoredSampleFormat&) const = default;
};

}  // namespace twinfold
