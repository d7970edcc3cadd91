#include "audio_io/HeaderPlausibility.h"

#include "audio_io/AudioIOError.h"
#include "audio_io/ChunkParser.h"
#include "audio_io/ByteOrder.h"
#include "audio_io/PosixFile.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <sys/stat.h>
#include <vector>

namespace twinfold::detail {
namespace {

constexpr std::uint16_t kWaveFormatPcm = 1;
constexpr std::uint16_t kWaveFormatFloat = 3;
constexpr std::uint16_t kWaveFormatExtensible = 0xFFFE;

std::string rateText(double rate) {
    if (std::isnan(rate)) return "not a number";
    if (std::isinf(rate)) return rate > 0 ? "infinite" : "negative infinite";
    char text[64];
    std::snprintf(text, sizeof text, "%.10g Hz", rate);
    return text;
}

// The IEEE 754 80-bit extended value AIFF stores its rate in: sign and
// 15-bit exponent, then a 64-bit mantissa with an explicit integer bit.
double extendedToDouble(const std::uint8_t* p) {
    const int exponent = ((p[0] & 0x7F) << 8) | p[1];
    std::uint64_t mantissa = 0;
    for (int i = 2; i < 10; ++i) mantissa = (mantissa << 8) | p[i];
    double value;
    if (exponent == 0x7FFF) {
        value = (mantissa << 1) == 0 ? INFINITY : NAN;
    } else {
        value = std::ldexp(double(mantissa), exponent - 16383 - 63);
    }
    return (p[0] & 0x80) ? -value : value;
}

std::vector<std::uint8_t> readStart(const ByteSource& source, const ChunkEntry& chunk, std::size_t wanted) {
    std::vector<std::uint8_t> bytes(std::size_t(std::min<std::uint64_t>(chunk.size, wanted)));
    source.readAt(chunk.dataOffset, bytes.data(), bytes.size());
    return bytes;
}

// Integer or float PCM, plain or in the extensible form whose sub-format
// GUID starts with the plain tag.
bool isWavePcm(const std::vector<std::uint8_t>& fmt) {
    const std::uint16_t tag = loadLE16(fmt.data());
    if (tag == kWaveFormatExtensible && fmt.size() >= 26) {
        const std::uint16_t sub = loadLE16(fmt.data() + 24);
        return sub == kWaveFormatPcm || sub == kWaveFormatFloat;
    }
    return tag == kWaveFormatPcm || tag == kWaveFormatFloat;
}

// 'fmt ': format tag, channels, rate (32 bits), bytes a second, block
// align, bits per sample.
std::string implausibleWaveFormat(const ByteSource& source, const ChunkLayout& layout) {
    const ChunkEntry* chunk = layout.first(fourCC("fmt "));
    if (!chunk || chunk->size < 16) return {};
    const std::vector<std::uint8_t> fmt = readStart(source, *chunk, 26);
    const long channels = loadLE16(fmt.data() + 2);
    if (auto reason = implausibleChannels(channels); !reason.empty()) return reason;
    if (auto reason = implausibleRate(loadLE32(fmt.data() + 4)); !reason.empty()) return reason;
    if (!isWavePcm(fmt)) return {};
    return implausibleBlockAlign(loadLE16(fmt.data() + 12), channels, loadLE16(fmt.data() + 14));
}

// 'COMM': channels (signed 16 bits), frames, sample size, rate (80 bits).
std::string implausibleAiffFormat(const ByteSource& source, const ChunkLayout& layout) {
    const ChunkEntry* chunk = layout.first(fourCC("COMM"));
    if (!chunk || chunk->size < 18) return {};
    const std::vector<std::uint8_t> comm = readStart(source, *chunk, 18);
    if (auto reason = implausibleChannels(std::int16_t(loadBE16(comm.data()))); !reason.empty()) return reason;
    return implausibleRate(extendedToDouble(comm.data() + 8));
}

// A file whose chunks cannot be framed at all is left to the decoder to report.
std::string implausibleDeclaredHeader(const ByteSource& source) {
    ChunkLayout layout;
    try {
        layout = parseChunkLayout(source);
    } catch (const AudioIOError&) {
        return {};
    }
    if (layout.isAiff()) return implausibleAiffFormat(source, layout);
    return implausibleWaveFormat(source, layout);
}

}  // namespace

std::string implausibleRate(double rate) {
    if (std::isfinite(rate) && rate >= kMinPlausibleRate && rate <= kMaxPlausibleRate) return {};
    return "sample rate " + rateText(rate) + " is not plausible";
}

std::string implausibleChannels(long channels) {
    if (channels >= 1 && channels <= kMaxPlausibleChannels) return {};
    return "channel count " + std::to_string(channels) + " is not plausible";
}

std::string implausibleBlockAlign(long blockAlign, long channels, long bits) {
    if (bits < 1 || bits > 64) return "sample depth " + std::to_string(bits) + " bits is not plausible";
    const long frameBytes = channels * ((bits + 7) / 8);
    if (blockAlign == frameBytes) return {};
    return "block align " + std::to_string(blockAlign) + " does not match " + std::to_string(channels) +
           " channels of " + std::to_string(bits) + " bits (" + std::to_string(frameBytes) + " bytes a frame)";
}

void requirePlausibleShape(const std::filesystem::path& path, double rate, long channels) {
    if (auto reason = implausibleChannels(channels); !reason.empty()) throwFileError(path, reason);
    if (auto reason = implausibleRate(rate); !reason.empty()) throwFileError(path, reason);
}

void requirePlausibleDeclaredHeader(int fd, const std::filesystem::path& path) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) throwErrno(path, errno);
    const FileByteSource source(fd, std::uint64_t(info.st_size));
    std::string reason;
    try {
        reason = implausibleDeclaredHeader(source);
    } catch (const AudioIOError& error) {  // the file could not be read
        throwFileError(path, error.what());
    }
    if (!reason.empty()) throwFileError(path, reason);
}

}  // namespace twinfold::detail
