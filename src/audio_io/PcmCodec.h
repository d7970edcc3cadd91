#pragma once

#include <cstddef>
#include <cstdint>

namespace twinfold::detail {

// Raw sample encodings that are converted here rather than by libsndfile,
// because libsndfile's own conversion is several times slower than reading.
enum class RawEncoding { int16, int24, int32, float32 };

// The layout of interleaved PCM as stored in a file's data chunk.
struct RawPcmLayout {
    RawEncoding encoding = RawEncoding::int16;
    bool bigEndian = false;
    int channels = 1;

    std::size_t bytesPerSample() const;
    std::size_t bytesPerFrame() const { return bytesPerSample() * std::size_t(channels); }
};

// Bytes a raw block needs before and after its samples: the 24-bit loaders
// read whole 32-bit words that reach one byte outside the sample.
constexpr std::size_t kRawGuardBytes = 4;

// Interleaved raw frames → planar float, full scale ±1.0. Integers are
// divided by 2^(bits−1), which is exact, so the writer can restore them.
void decodePcm(const RawPcmLayout& layout, const std::uint8_t* src, std::size_t frames, float* const* dst);
// Interleaved raw integer frames → planar int32, left-justified (a 16-bit
// sample s becomes s << 16). Integer encodings only.
void decodePcm(const RawPcmLayout& layout, const std::uint8_t* src, std::size_t frames, std::int32_t* const* dst);

// Interleaved raw 16-bit frames → planar int16, as stored. int16 only.
void decodePcm(const RawPcmLayout& layout, const std::uint8_t* src, std::size_t frames, std::int16_t* const* dst);

// Planar left-justified int32 → interleaved raw bytes of an integer encoding;
// the bits below the encoding's depth are dropped.
void encodePcm(const RawPcmLayout& layout, const std::int32_t* const* src, std::size_t frames, std::uint8_t* dst);

// Float samples → the nearest integers of a `bits`-deep grid, left-justified
// in 32 bits. Out-of-range values clip to the extremes (never wrap around),
// NaN becomes 0. A value decoded from a `bits`-deep file comes back unchanged.
void quantizePcm(const float* src, std::size_t count, int bits, std::int32_t* dst);

// Float samples → int32 full scale ±2^31, the same rule at 32 bits.
inline void floatToInt32(const float* src, std::size_t count, std::int32_t* dst) { quantizePcm(src, count, 32, dst); }

}  // namespace twinfold::detail
