#include "audio_io/PcmCodec.h"

#include <bit>
#include <cstring>
#include <type_traits>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace twinfold::detail {
namespace {

std::uint16_t load16(const std::uint8_t* p) {
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

std::uint32_t load32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

void store16(std::uint8_t* p, std::uint16_t v) { std::memcpy(p, &v, 2); }
void store32(std::uint8_t* p, std::uint32_t v) { std::memcpy(p, &v, 4); }

// One raw sample type: its size, and how it loads as a left-justified int32
// (or a float) and stores from one. The host is little-endian (x86-64, arm64).
template <RawEncoding E, bool BigEndian>
struct Raw;

template <bool BE>
struct Raw<RawEncoding::int16, BE> {
    static constexpr std::size_t bytes = 2;
    static std::int32_t load(const std::uint8_t* p) {
        std::uint16_t v = BE ? __builtin_bswap16(load16(p)) : load16(p);
        return std::int32_t(std::uint32_t(v) << 16);
    }
    static void store(std::uint8_t* p, std::int32_t s) {
        std::uint16_t v = std::uint16_t(std::uint32_t(s) >> 16);
        store16(p, BE ? __builtin_bswap16(v) : v);
    }
};

// A 24-bit sample is read as the 32-bit word that ends (little-endian) or
// starts (big-endian) with it; masking the stray byte leaves the sample
// left-justified. This is what keeps the loop free of byte shuffling.
template <bool BE>
struct Raw<RawEncoding::int24, BE> {
    static constexpr std::size_t bytes = 3;
    static std::int32_t load(const std::uint8_t* p) {
        std::uint32_t w = BE ? __builtin_bswap32(load32(p)) : load32(p - 1);
        return std::int32_t(w & 0xFFFFFF00u);
    }
    static void store(std::uint8_t* p, std::int32_t s) {
        std::uint32_t u = std::uint32_t(s);
        p[BE ? 2 : 0] = std::uint8_t(u >> 8);
        p[1] = std::uint8_t(u >> 16);
        p[BE ? 0 : 2] = std::uint8_t(u >> 24);
    }
};

template <bool BE>
struct Raw<RawEncoding::int32, BE> {
    static constexpr std::size_t bytes = 4;
    static std::int32_t load(const std::uint8_t* p) {
        return std::int32_t(BE ? __builtin_bswap32(load32(p)) : load32(p));
    }
    static void store(std::uint8_t* p, std::int32_t s) {
        store32(p, BE ? __builtin_bswap32(std::uint32_t(s)) : std::uint32_t(s));
    }
};

template <bool BE>
struct Raw<RawEncoding::float32, BE> {
    static constexpr std::size_t bytes = 4;
    static float load(const std::uint8_t* p) {
        return std::bit_cast<float>(BE ? __builtin_bswap32(load32(p)) : load32(p));
    }
};

template <typename Out, typename In>
Out convertSample(In v) {
    if constexpr (std::is_same_v<Out, In>) {
        return v;
    } else if constexpr (std::is_same_v<Out, std::int16_t>) {
        return std::int16_t(v >> 16);  // a 16-bit sample, left-justified by its loader
    } else {
        static_assert(std::is_same_v<Out, float> && std::is_same_v<In, std::int32_t>);
        return float(v) * 0x1p-31f;  // exact: a power-of-two scale of the rounded integer
    }
}

// One pass per channel over the block keeps each inner loop a plain strided
// load and a contiguous store, which g++ vectorises; CH > 0 fixes the stride
// at compile time for the common channel counts.
template <typename R, int CH, typename Out>
void deinterleave(const std::uint8_t* src, std::size_t frames, int channels, Out* const* dst) {
    const int count = CH > 0 ? CH : channels;
    const std::size_t frameBytes = R::bytes * std::size_t(count);
    for (int c = 0; c < count; ++c) {
        Out* __restrict out = dst[c];
        const std::uint8_t* in = src + R::bytes * std::size_t(c);
        for (std::size_t i = 0; i < frames; ++i) out[i] = convertSample<Out>(R::load(in + i * frameBytes));
    }
}

template <typename R, int CH>
void interleave(const std::int32_t* const* src, std::size_t frames, int channels, std::uint8_t* dst) {
    const int count = CH > 0 ? CH : channels;
    const std::size_t frameBytes = R::bytes * std::size_t(count);
    for (int c = 0; c < count; ++c) {
        const std::int32_t* __restrict in = src[c];
        std::uint8_t* out = dst + R::bytes * std::size_t(c);
        for (std::size_t i = 0; i < frames; ++i) R::store(out + i * frameBytes, in[i]);
    }
}

template <typename R, typename Out>
void decodeChannels(const std::uint8_t* src, std::size_t frames, int channels, Out* const* dst) {
    switch (channels) {
    case 1: return deinterleave<R, 1>(src, frames, channels, dst);
    case 2: return deinterleave<R, 2>(src, frames, channels, dst);
    case 4: return deinterleave<R, 4>(src, frames, channels, dst);
    case 6: return deinterleave<R, 6>(src, frames, channels, dst);
    case 8: return deinterleave<R, 8>(src, frames, channels, dst);
    default: return deinterleave<R, 0>(src, frames, channels, dst);
    }
}

template <typename R>
void encodeChannels(const std::int32_t* const* src, std::size_t frames, int channels, std::uint8_t* dst) {
    switch (channels) {
    case 1: return interleave<R, 1>(src, frames, channels, dst);
    case 2: return interleave<R, 2>(src, frames, channels, dst);
    default: return interleave<R, 0>(src, frames, channels, dst);
    }
}

template <RawEncoding E, typename Out>
void decodeEndian(const RawPcmLayout& l, const std::uint8_t* src, std::size_t frames, Out* const* dst) {
    if (l.bigEndian) {
        decodeChannels<Raw<E, true>>(src, frames, l.channels, dst);
    } else {
        decodeChannels<Raw<E, false>>(src, frames, l.channels, dst);
    }
}

template <RawEncoding E>
void encodeEndian(const RawPcmLayout& l, const std::int32_t* const* src, std::size_t frames, std::uint8_t* dst) {
    if (l.bigEndian) {
        encodeChannels<Raw<E, true>>(src, frames, l.channels, dst);
    } else {
        encodeChannels<Raw<E, false>>(src, frames, l.channels, dst);
    }
}

}  // namespace

std::size_t RawPcmLayout::bytesPerSample() const {
    switch (encoding) {
    case RawEncoding::int16: return 2;
    case RawEncoding::int24: return 3;
    case RawEncoding::int32:
    case RawEncoding::float32: return 4;
    }
    return 0;
}

namespace {

#if defined(__x86_64__)
// Little-endian 24-bit mono and stereo, the commonest recording formats, are
// most of a scan's decoding work. The scalar loop reads every frame once per
// channel; one byte shuffle per four samples places each sample in the top
// three bytes of its word instead. A step loads 16 bytes but consumes 12, so
// the loops stop while a whole load still lies inside the block.
constexpr char kZero = char(0x80);  // a shuffle index that yields a zero byte

// Four left-justified samples, stored as integers or as floats. A 24-bit
// sample has 24 significant bits, so the float conversion is exact, as in
// the scalar loop.
__attribute__((target("ssse3"))) void store4(std::int32_t* out, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), v);
}
__attribute__((target("ssse3"))) void store4(float* out, __m128i v) {
    _mm_storeu_ps(out, _mm_mul_ps(_mm_cvtepi32_ps(v), _mm_set1_ps(0x1p-31f)));
}

template <typename Out>
__attribute__((target("ssse3"))) std::size_t splitMono24(const std::uint8_t* src, std::size_t frames, Out* out) {
    const __m128i spread = _mm_setr_epi8(kZero, 0, 1, 2, kZero, 3, 4, 5, kZero, 6, 7, 8, kZero, 9, 10, 11);
    std::size_t i = 0;
    for (; i + 6 <= frames; i += 4)
        store4(out + i, _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 3 * i)), spread));
    return i;
}

template <typename Out>
__attribute__((target("ssse3"))) std::size_t splitStereo24(const std::uint8_t* src, std::size_t frames,
                                                           Out* __restrict left, Out* __restrict right) {
    // Two frames (12 bytes) become [L0 L1 R0 R1].
    const __m128i spread = _mm_setr_epi8(kZero, 0, 1, 2, kZero, 6, 7, 8, kZero, 3, 4, 5, kZero, 9, 10, 11);
    std::size_t i = 0;
    for (; i + 5 <= frames; i += 4) {
        const __m128i a = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 6 * i)), spread);
        const __m128i b = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 6 * i + 12)), spread);
        store4(left + i, _mm_unpacklo_epi64(a, b));
        store4(right + i, _mm_unpackhi_epi64(a, b));
    }
    return i;
}

// Decodes the frames it can with byte shuffles and returns how many.
template <typename Out>
std::size_t decodeShuffled24(const RawPcmLayout& l, const std::uint8_t* src, std::size_t frames, Out* const* dst) {
    static const bool available = __builtin_cpu_supports("ssse3");
    if (!available || l.encoding != RawEncoding::int24 || l.bigEndian) return 0;
    if (l.channels == 1) return splitMono24(src, frames, dst[0]);
    if (l.channels == 2) return splitStereo24(src, frames, dst[0], dst[1]);
    return 0;
}
#else
template <typename Out>
std::size_t decodeShuffled24(const RawPcmLayout&, const std::uint8_t*, std::size_t, Out* const*) {
    return 0;
}
#endif

// Decodes with byte shuffles where they apply, and the frames they left with
// the scalar loop; false when they do not apply.
template <typename Out>
bool decodeShuffled(const RawPcmLayout& l, const std::uint8_t* src, std::size_t frames, Out* const* dst) {
    const std::size_t done = decodeShuffled24(l, src, frames, dst);
    if (done == 0) return false;
    Out* const rest[2] = {dst[0] + done, l.channels == 2 ? dst[1] + done : nullptr};
    decodeChannels<Raw<RawEncoding::int24, false>>(src + done * l.bytesPerFrame(), frames - done, l.channels, rest);
    return true;
}

}  // namespace

void decodePcm(const RawPcmLayout& l, const std::uint8_t* src, std::size_t frames, float* const* dst) {
    if (decodeShuffled(l, src, frames, dst)) return;
    switch (l.encoding) {
    case RawEncoding::int16: return decodeEndian<RawEncoding::int16>(l, src, frames, dst);
    case RawEncoding::int24: return decodeEndian<RawEncoding::int24>(l, src, frames, dst);
    case RawEncoding::int32: return decodeEndian<RawEncoding::int32>(l, src, frames, dst);
    case RawEncoding::float32: return decodeEndian<RawEncoding::float32>(l, src, frames, dst);
    }
}

void decodePcm(const RawPcmLayout& l, const std::uint8_t* src, std::size_t frames, std::int32_t* const* dst) {
    if (decodeShuffled(l, src, frames, dst)) return;
    switch (l.encoding) {
    case RawEncoding::int16: return decodeEndian<RawEncoding::int16>(l, src, frames, dst);
    case RawEncoding::int24: return decodeEndian<RawEncoding::int24>(l, src, frames, dst);
    case RawEncoding::int32: return decodeEndian<RawEncoding::int32>(l, src, frames, dst);
    case RawEncoding::float32: break;  // callers convert float files from float
    }
}

// The commonest 16-bit layout, in one pass for both channels; with AVX2 a
// step splits sixteen frames.
__attribute__((target_clones("avx2", "default"))) void splitStereo16(const std::uint8_t* src, std::size_t frames,
                                                                     std::int16_t* __restrict left,
                                                                     std::int16_t* __restrict right) {
    for (std::size_t i = 0; i < frames; ++i) {
        left[i] = std::int16_t(load16(src + 4 * i));
        right[i] = std::int16_t(load16(src + 4 * i + 2));
    }
}

void decodePcm(const RawPcmLayout& l, const std::uint8_t* src, std::size_t frames, std::int16_t* const* dst) {
    if (l.encoding != RawEncoding::int16) return;
    if (l.channels == 2 && !l.bigEndian) return splitStereo16(src, frames, dst[0], dst[1]);
    decodeEndian<RawEncoding::int16>(l, src, frames, dst);
}

void encodePcm(const RawPcmLayout& l, const std::int32_t* const* src, std::size_t frames, std::uint8_t* dst) {
    switch (l.encoding) {
    case RawEncoding::int16: return encodeEndian<RawEncoding::int16>(l, src, frames, dst);
    case RawEncoding::int24: return encodeEndian<RawEncoding::int24>(l, src, frames, dst);
    case RawEncoding::int32: return encodeEndian<RawEncoding::int32>(l, src, frames, dst);
    case RawEncoding::float32: break;  // the writer stores integers only
    }
}

void quantizePcm(const float* src, std::size_t count, int bits, std::int32_t* __restrict dst) {
    // In double, x · 2^(bits−1) is exact and the clip bounds are exact, so the
    // only rounding is the deliberate one to the nearest integer (ties to
    // even, by adding and removing 1.5 · 2^52, which g++ keeps as written).
    // NaN is turned into 0 on the bit pattern: a floating-point test for it
    // would keep g++ from vectorising the loop.
    const double scale = double(1u << (bits - 1));
    const double lo = -scale;
    const double hi = scale - 1.0;
    const unsigned shift = unsigned(32 - bits);
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t pattern = std::bit_cast<std::uint32_t>(src[i]);
        pattern &= (pattern & 0x7FFFFFFFu) <= 0x7F800000u ? 0xFFFFFFFFu : 0u;
        double d = double(std::bit_cast<float>(pattern)) * scale;
        d = d < lo ? lo : d;
        d = d > hi ? hi : d;
        d = (d + 0x1.8p52) - 0x1.8p52;
        dst[i] = std::int32_t(std::uint32_t(std::int32_t(d)) << shift);
    }
}

}  // namespace twinfold::detail
