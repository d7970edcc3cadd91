#include "audio_io/AiffSoundSizes.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace twinfold::detail {
namespace {

// Enough for any real header; a file with more chunks is not looked at.
constexpr int kMaxChunks = 4096;

std::uint32_t be32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | std::uint32_t(p[3]);
}

bool readExactly(int fd, std::uint64_t at, std::uint8_t* out, std::size_t count) {
    return ::pread(fd, out, count, off_t(at)) == ssize_t(count);
}

bool writeBe32(int fd, std::uint64_t at, std::uint32_t value) {
    const std::uint8_t bytes[4] = {std::uint8_t(value >> 24), std::uint8_t(value >> 16), std::uint8_t(value >> 8),
                                   std::uint8_t(value)};
    return ::pwrite(fd, bytes, 4, off_t(at)) == 4;
}

}  // namespace

std::optional<AiffSoundSizes> readAiffSoundSizes(int fd) {
    struct stat info {};
    std::uint8_t head[12];
    if (::fstat(fd, &info) != 0 || !readExactly(fd, 0, head, sizeof head) || std::memcmp(head, "FORM", 4) != 0 ||
        (std::memcmp(head + 8, "AIFF", 4) != 0 && std::memcmp(head + 8, "AIFC", 4) != 0))
        return std::nullopt;
    const std::uint64_t end = std::uint64_t(info.st_size);
    AiffSoundSizes sizes;
    bool comm = false, ssnd = false;
    std::uint64_t at = 12;
    for (int n = 0; n < kMaxChunks && !(comm && ssnd) && at + 8 <= end; ++n) {
        std::uint8_t chunk[16] = {};
        if (!readExactly(fd, at, chunk, std::min<std::uint64_t>(sizeof chunk, end - at))) return std::nullopt;
        const std::uint32_t size = be32(chunk + 4);
        if (std::memcmp(chunk, "COMM", 4) == 0 && size >= 6 && at + 14 <= end) {
            sizes.commFrames = be32(chunk + 10);
            sizes.commFramesAt = at + 10;
            comm = true;
        } else if (std::memcmp(chunk, "SSND", 4) == 0 && size >= 8 && at + 16 <= end) {
            sizes.ssndSize = size;
            sizes.ssndSizeAt = at + 4;
            sizes.ssndOffset = be32(chunk + 8);
            ssnd = true;
        }
        at += 8 + std::uint64_t(size) + (size & 1);
    }
    if (!comm || !ssnd) return std::nullopt;
    return sizes;
}

bool writeAiffSoundSizes(int fd, const AiffSoundSizes& at, std::uint32_t frames, std::uint32_t ssndSize) {
    return writeBe32(fd, at.commFramesAt, frames) && writeBe32(fd, at.ssndSizeAt, ssndSize);
}

}  // namespace twinfold::detail
