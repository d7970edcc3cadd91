// Normalised outputs sample for sample, against values worked out by hand:
// each source peaks where the gain to the target is a power of two, 4/3 or
// 0.8, so every scaled sample is known in advance.
// Any change in how the converter measures the peak, scales, rounds or
// clips shows up as a differing sample.
#include "conversion/ConverterFixture.h"

#include "conversion/OutputFormat.h"

namespace twinfold::test {
namespace {

using enum PcmContainer;
using enum PcmEncoding;

constexpr float kHalfScale = -6.0206f;  // 0.5 in single precision

struct NormalisedCase {
    std::string name;
    PcmFormat format;
    Signal right;  // the channel converted; the left is louder noise
    float target;
    std::vector<std::int64_t> expected;  // at the output's depth
};

void PrintTo(const NormalisedCase& c, std::ostream* os) { *os << c.name; }

class NormalisedSamplesTest : public ConverterFixture, public ::testing::WithParamInterface<NormalisedCase> {};

TEST_P(NormalisedSamplesTest, EachOutputIsItsChannelTimesItsOwnGain) {
    const NormalisedCase& c = GetParam();
    const int bits = isFloat(c.format.encoding) ? 32 : bitsOf(c.format.encoding);
    const fs::path source = dir / "Song.wav";
    writePcm(source, c.format, {dc(c.right.size(), -0.75, c.format.encoding), c.right});
    converter.convertToMono(source, dir / "Song_mono.wav", ChannelSelection::right, c.target);
    converter.splitToTwoMono(source, dir / "L.wav", dir / "R.wav", c.target);

    const auto stored = readStoredInts(dir / "Song_mono.wav");
    std::vector<std::int64_t> written;
    for (std::int32_t v : stored.at(0)) written.push_back(v >> (32 - bits));
    EXPECT_EQ(written, c.expected);
    EXPECT_EQ(readStoredInts(dir / "R.wav"), stored);
}

// Rounding meets clipping where a gain takes the peak to full scale; a float
// source beyond full scale comes down to it, and a NaN comes out as 0.
constexpr double k16 = 0x1p-15, k32 = 0x1p-32;  // one step of 16-bit PCM; 2^-32
constexpr std::int64_t kMax = 2147483647, kHalf = 1073741824;
const NormalisedCase kCases[] = {
    {"wav8", {wav, int8}, {0.25, -0.25, 1.0 / 128, -0.125}, kHalfScale, {64, -64, 2, -32}},
    {"wav16", {wav, int16}, {0.25, -0.125, 3 * k16, -0.25}, kHalfScale, {16384, -8192, 6, -16384}},
    {"wav16FullScale", {wav, int16}, {0.25, -0.25, k16, -3 * k16}, 0.0f, {32767, -32768, 4, -12}},
    {"aiff24FullScale", {aiff, int24}, {0.25, -0.25, 0x1p-23 * 5}, 0.0f, {8388607, -8388608, 20}},
    {"wav32FullScale", {wav, int32}, {0.5, -0.5, 0x1p-31 * 7, -0.25}, 0.0f, {kMax, -kMax - 1, 14, -kHalf}},
    // A gain of 4/3 leaves fractions to round; products of 2^-32 steps are ties, to even.
    {"wav16Thirds", {wav, int16}, {0.75, -0.75, k16, 2 * k16, 3 * k16, -2 * k16}, 0.0f, {32767, -32768, 1, 3, 4, -3}},
    {"float32Ties", {wav, float32}, {1.0, k32, 3 * k32, 5 * k32, -3 * k32, 1.5 * k32}, 0.0f, {kMax, 0, 2, 2, -2, 1}},
    {"float32Beyond", {wav, float32}, {1.25, -0.625, NAN, 0.5, 0.375}, 0.0f, {kMax, -kHalf, 0, 858993472, 644245120}},
};
INSTANTIATE_TEST_SUITE_P(Sources, NormalisedSamplesTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return info.param.name; });

// Past two chunks, with the peaks far apart: the peak pass reads the file in
// two halves at once, and every chunk is scaled alike.
TEST_F(ConverterFixture, NormalisationSpansEveryChunk) {
    const std::size_t frames = 2 * AudioConverterService::chunkSize + 5;
    Signal right = noise(frames, int24, 5, 0.1);
    right[AudioConverterService::chunkSize / 2] = -0.25;
    right[frames - 1] = 0.25;
    writePcm(dir / "Long.wav", {wav, int24}, {noise(frames, int24, 6, 0.9), right});
    converter.convertToMono(dir / "Long.wav", dir / "Long_mono.wav", ChannelSelection::right, kHalfScale);
    std::vector<std::int32_t> doubled;
    for (std::int32_t v : storedInts(right, int24)) doubled.push_back(v * 2);
    expectSameSamples(readStoredInts(dir / "Long_mono.wav")[0], doubled);
}

TEST(NormalizationGainTest, TargetOverPeakAboveTheFloor) {
    EXPECT_NEAR(*normalizationGain(-1.0f, 0.5f), 1.7825f, 1e-4);
    EXPECT_NEAR(*normalizationGain(-6.0f, 2.0f), 0.2506f, 1e-4);  // lowers too
    EXPECT_FALSE(normalizationGain(-1.0f, 0.001f));
    EXPECT_FALSE(normalizationGain(-1.0f, 0.0f));
    EXPECT_TRUE(normalizationGain(-1.0f, 0.0011f));
}

// Below the floor a channel is copied unscaled rather than amplifying noise.
TEST_F(ConverterFixture, QuietChannelIsCopiedUnscaled) {
    Signal quiet = noise(5000, int24, 3, 0.0008);
    quiet[2500] = quantize(0.0009, int24);
    writePcm(dir / "Quiet.wav", {wav, int24}, {quiet, noise(5000, int24, 4)});
    converter.convertToMono(dir / "Quiet.wav", dir / "Quiet_mono.wav", ChannelSelection::left, -1.0f);
    EXPECT_EQ(readStoredInts(dir / "Quiet_mono.wav")[0], storedInts(quiet, int24));
}

}  // namespace
}  // namespace twinfold::test
