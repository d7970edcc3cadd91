// Normalised outputs sample for sample. The expected integers are worked out
// here from libsndfile's own reading of the source, not through the
// converter's reader or writer: each sample as a float (integers over 2^31),
// times the gain in single precision, rounded to the output's depth with ties
// to even and clipped to its range. Any change in how the converter measures
// the peak, scales or rounds shows up as a differing sample.
#include "conversion/ConverterFixture.h"

#include "conversion/OutputFormat.h"

#include <algorithm>
#include <cmath>

namespace twinfold::test {
namespace {

namespace fs = std::filesystem;
using enum PcmContainer;
using enum PcmEncoding;

// Noise within ±`level`, reaching it once negative and once positive in the
// middle (where a gain to 0 dBFS may push the positive peak just past full scale).
// Float sources also carry a NaN, which must come out as 0.
Signal peakedNoise(std::size_t frames, PcmEncoding encoding, double level, std::uint32_t seed) {
    Signal samples = noise(frames, encoding, seed, level);
    if (isFloat(encoding)) samples[frames / 3] = std::nan("");
    samples[frames / 2] = -quantize(level, encoding);
    samples[frames / 2 + 1] = quantize(level, encoding);
    return samples;
}

// What the output must hold: left-justified integers of `bits` depth.
std::vector<std::int32_t> expectedOutput(const std::vector<float>& samples, float gain, int bits) {
    const double top = std::ldexp(1.0, bits - 1);
    std::vector<std::int32_t> expected;
    for (float s : samples) {
        const float scaled = std::isnan(s) ? 0.0f : s * gain;
        const double rounded = std::clamp(std::nearbyint(double(scaled) * top), -top, top - 1);
        expected.push_back(std::int32_t(std::uint32_t(std::int32_t(rounded)) << (32 - bits)));
    }
    return expected;
}

void expectNormalised(const fs::path& output, const fs::path& source, int channel, float target, int outputBits) {
    SCOPED_TRACE(output.filename());
    const std::vector<float> samples = readFloats(source)[std::size_t(channel)];
    const float peak = std::fabs(std::ranges::max(samples, {}, [](float s) { return std::fabs(s); }));
    const std::optional<float> gain = normalizationGain(target, peak);
    ASSERT_TRUE(gain);
    expectSameSamples(readStoredInts(output)[0], expectedOutput(samples, *gain, outputBits));
}

struct NormalisedCase {
    std::string name;
    PcmFormat format;
    std::string extension;
    float target;
    std::size_t frames = 100'003;
};

void PrintTo(const NormalisedCase& c, std::ostream* os) { *os << c.name; }

class NormalisedSamplesTest : public ConverterFixture, public ::testing::WithParamInterface<NormalisedCase> {};

TEST_P(NormalisedSamplesTest, EachOutputIsItsChannelTimesItsOwnGain) {
    const NormalisedCase& c = GetParam();
    const PcmEncoding encoding = c.format.encoding;
    const int bits = isFloat(encoding) ? 32 : bitsOf(encoding);
    // The two sides peak at different levels; floats may pass full scale.
    const fs::path source = dir / ("Song." + c.extension);
    writePcm(source, c.format,
             {peakedNoise(c.frames, encoding, isFloat(encoding) ? 1.25 : 0.3, 11),
              peakedNoise(c.frames, encoding, isFloat(encoding) ? 0.2 : 0.05, 12)});
    const fs::path left = dir / ("L." + c.extension), right = dir / ("R." + c.extension);
    converter.splitToTwoMono(source, left, right, c.target);
    expectNormalised(left, source, 0, c.target, bits);
    expectNormalised(right, source, 1, c.target, bits);

    const fs::path mono = dir / ("Song_mono." + c.extension);
    converter.convertToMono(source, mono, ChannelSelection::right, c.target);
    EXPECT_EQ(readStoredInts(mono), readStoredInts(right));

    // A mono input: the left output, taken to another level.
    const fs::path copy = dir / ("Copy." + c.extension);
    converter.normalizedCopy(left, copy, c.target - 3.0f);
    expectNormalised(copy, left, 0, c.target - 3.0f, bits);
}

// Targets at 0 dBFS put the scaled peak at full scale, where rounding meets
// clipping; a 16-bit source into a 16-bit output rounds every scaled sample.
INSTANTIATE_TEST_SUITE_P(
    Sources, NormalisedSamplesTest,
    ::testing::Values(
        NormalisedCase{"wav8", {wav, int8}, "wav", -3.0f},
        NormalisedCase{"wav16", {wav, int16}, "wav", -1.0f},
        NormalisedCase{"wav16FullScale", {wav, int16}, "wav", 0.0f},
        // Past two chunks: chunk boundaries are crossed and the peak pass
        // reads the file in two halves at once.
        NormalisedCase{"wav24", {wav, int24}, "wav", -6.0f, 2 * AudioConverterService::chunkSize + 5},
        NormalisedCase{"aiff24FullScale", {aiff, int24}, "aiff", 0.0f},
        NormalisedCase{"wav32", {wav, int32}, "wav", -0.5f},
        NormalisedCase{"aiff32FullScale", {aiff, int32}, "aif", 0.0f},
        NormalisedCase{"float32", {wav, float32}, "wav", -1.0f},
        NormalisedCase{"float32FullScale", {wav, float32}, "wav", 0.0f}),
    [](const auto& info) { return info.param.name; });

// The expectations above take the gain from normalizationGain, so its own
// values are checked here.
TEST(NormalizationGainTest, TargetOverPeakAboveTheFloor) {
    EXPECT_NEAR(*normalizationGain(-1.0f, 0.5f), 1.7825f, 1e-4);
    EXPECT_NEAR(*normalizationGain(-6.0f, 2.0f), 0.2506f, 1e-4);  // lowers too
    EXPECT_FALSE(normalizationGain(-1.0f, 0.001f));
    EXPECT_FALSE(normalizationGain(-1.0f, 0.0f));
    EXPECT_TRUE(normalizationGain(-1.0f, 0.0011f));
}

// Below the floor a channel is copied unscaled rather than amplifying noise.
TEST_F(ConverterFixture, QuietChannelIsCopiedUnscaled) {
    const Signal quiet = peakedNoise(5000, int24, 0.0009, 3);
    writePcm(dir / "Quiet.wav", {wav, int24}, {quiet, noise(5000, int24, 4)});
    converter.convertToMono(dir / "Quiet.wav", dir / "Quiet_mono.wav", ChannelSelection::left, -1.0f);
    EXPECT_EQ(readStoredInts(dir / "Quiet_mono.wav")[0], storedInts(quiet, int24));
}

}  // namespace
}  // namespace twinfold::test
