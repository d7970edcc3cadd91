#pragma once

#include <cstdint>
#include <optional>

namespace twinfold::detail {

// The two fields by which an AIFF or AIFF-C file declares its length, with
// their file offsets so they can be corrected in place.
struct AiffSoundSizes {
    std::uint32_t commFrames = 0;  // COMM numSampleFrames
    std::uint64_t commFramesAt = 0;
    std::uint32_t ssndSize = 0;  // SSND ckSize: 8 + offset + sound data bytes
    std::uint64_t ssndSizeAt = 0;
    std::uint32_t ssndOffset = 0;  // SSND offset: bytes skipped before the first frame

    // File offset of the first frame.
    std::uint64_t soundAt() const { return ssndSizeAt + 12 + ssndOffset; }
    // The sound data bytes the SSND size declares.
    std::uint64_t soundBytes() const {
        return ssndSize >= 8 + std::uint64_t(ssndOffset) ? ssndSize - 8 - std::uint64_t(ssndOffset) : 0;
    }
};

// Walks the chunks of the AIFF/AIFF-C file open on `fd` (read with pread, so
// the file position is left alone). Empty when the file is not AIFF, cannot
// be read, or lacks COMM or SSND.
std::optional<AiffSoundSizes> readAiffSoundSizes(int fd);

// Writes numSampleFrames and the SSND size at the offsets in `at`; returns
// false with errno set when a write fails.
bool writeAiffSoundSizes(int fd, const AiffSoundSizes& at, std::uint32_t frames, std::uint32_t ssndSize);

}  // namespace twinfold::detail
