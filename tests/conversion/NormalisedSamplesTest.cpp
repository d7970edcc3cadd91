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
#include <random>

namespace twinfold::test {
namespace {

namespace fs = std::filesystem;

// Random samples on the `bits` grid, at most `level` of full scale, with the
// channel's peak in the middle, once negative and once positive (which a gain
// to 0 dBFS may push just past full scale).
std::vector<std::int32_t> quietNoise(std::size_t frames, int bits, double level, unsigned seed) {
    std::vector<std::int32_t> samples = randomSamples(frames, bits, seed);
    const double step = std::ldexp(1.0, 32 - bits);
    for (auto& s : samples) s = std::int32_t(std::trunc(double(s) * level / step) * step);
    const auto peak = std::int32_t(std::floor(std::ldexp(level, 31) / step) * step);
    samples[frames / 2] = -peak;
    samples[frames / 2 + 1] = peak;
    return samples;
}

// Random float samples within ±`level`, reaching +`level` in the middle.
std::vector<double> floatNoise(std::size_t frames, double level, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> value(-level, level);
    std::vector<double> samples(frames);
    for (auto& s : samples) s = value(random);
    samples[frames / 2] = level;
    return samples;
}

// One channel of a file as floats, read by libsndfile.
std::vector<float> sourceFloats(const fs::path& path, int channel, bool isFloat) {
    std::vector<float> samples;
    if (isFloat) {
        const std::vector<double> all = readSoundDoubles(path);
        const int channels = readSound(path).channels;
        for (std::size_t i = std::size_t(channel); i < all.size(); i += std::size_t(channels)) {
            samples.push_back(float(all[i]));
        }
        return samples;
    }
    for (std::int32_t s : readSound(path).channel(channel)) samples.push_back(float(s) * 0x1p-31f);
    return samples;
}

float peakOf(const std::vector<float>& samples) {
    float peak = 0.0f;
    for (float s : samples) peak = std::max(peak, std::fabs(s));
    return peak;
}

// What the output must hold: left-justified integers of `bits` depth.
std::vector<std::int32_t> expectedOutput(const std::vector<float>& samples, float gain, int bits) {
    const double top = std::ldexp(1.0, bits - 1);
    std::vector<std::int32_t> expected;
    for (float s : samples) {
        const float scaled = s * gain;
        const double rounded = std::clamp(std::nearbyint(double(scaled) * top), -top, top - 1);
        expected.push_back(std::int32_t(std::uint32_t(std::int32_t(rounded)) << (32 - bits)));
    }
    return expected;
}

void expectNormalised(const fs::path& output, const fs::path& source, int channel, bool isFloat, float target,
                      int outputBits) {
    const std::vector<float> samples = sourceFloats(source, channel, isFloat);
    const std::optional<float> gain = normalizationGain(target, peakOf(samples));
    ASSERT_TRUE(gain);
    const std::vector<std::int32_t> expected = expectedOutput(samples, *gain, outputBits);
    const std::vector<std::int32_t> written = readSound(output).samples;
    ASSERT_EQ(written.size(), expected.size()) << output;
    const auto [w, e] = std::mismatch(written.begin(), written.end(), expected.begin());
    EXPECT_TRUE(w == written.end()) << output.filename() << ": first difference at frame " << (w - written.begin())
                                    << ": " << *w << " instead of " << *e;
}

struct NormalisedCase {
    std::string name;
    int format;
    std::string extension;
    int bits;  // 0: a float source, whose output is 32-bit
    float target;
    std::size_t frames = 100'003;
};

void PrintTo(const NormalisedCase& c, std::ostream* os) { *os << c.name; }

class NormalisedSamplesTest : public ConverterFixture, public ::testing::WithParamInterface<NormalisedCase> {
protected:
    // A stereo source whose two sides peak at different levels.
    fs::path writeSource(const NormalisedCase& c) {
        const fs::path path = dir / ("Song." + c.extension);
        if (c.bits > 0) {
            writeSound(path, c.format, 2,
                       interleave({quietNoise(c.frames, c.bits, 0.3, 11), quietNoise(c.frames, c.bits, 0.05, 12)}));
            return path;
        }
        // Floats may pass full scale: the left side peaks at 1.25.
        const std::vector<double> left = floatNoise(c.frames, 1.25, 13), right = floatNoise(c.frames, 0.2, 14);
        std::vector<double> samples;
        for (std::size_t i = 0; i < c.frames; ++i) samples.insert(samples.end(), {left[i], right[i]});
        writeSoundDoubles(path, c.format, 2, samples);
        return path;
    }
    int outputBits() const { return GetParam().bits > 0 ? GetParam().bits : 32; }
};

TEST_P(NormalisedSamplesTest, ConvertToMono) {
    const NormalisedCase& c = GetParam();
    const fs::path source = writeSource(c);
    const fs::path output = dir / ("Song_mono." + c.extension);
    converter.convertToMono(source, output, ChannelSelection::right, c.target);
    expectNormalised(output, source, 1, c.bits == 0, c.target, outputBits());
}

TEST_P(NormalisedSamplesTest, SplitToTwoMonoScalesEachSideByItsOwnGain) {
    const NormalisedCase& c = GetParam();
    const fs::path source = writeSource(c);
    const fs::path left = dir / ("L." + c.extension), right = dir / ("R." + c.extension);
    converter.splitToTwoMono(source, left, right, c.target);
    expectNormalised(left, source, 0, c.bits == 0, c.target, outputBits());
    expectNormalised(right, source, 1, c.bits == 0, c.target, outputBits());
}

TEST_P(NormalisedSamplesTest, NormalizedCopyOfAMonoFile) {
    const NormalisedCase& c = GetParam();
    const fs::path input = dir / ("Mono." + c.extension);
    if (c.bits > 0) {
        writeSound(input, c.format, 1, quietNoise(c.frames, c.bits, 0.4, 21));
    } else {
        writeSoundDoubles(input, c.format, 1, floatNoise(c.frames, 0.4, 22));
    }
    const fs::path output = dir / ("Copy." + c.extension);
    converter.normalizedCopy(input, output, c.target);
    expectNormalised(output, input, 0, c.bits == 0, c.target, outputBits());
}

// Targets at 0 dBFS put the scaled peak at full scale, where rounding meets
// clipping; a 16-bit source into a 16-bit output rounds every scaled sample.
INSTANTIATE_TEST_SUITE_P(
    Sources, NormalisedSamplesTest,
    ::testing::Values(
        NormalisedCase{"wav8", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, "wav", 8, -3.0f},
        NormalisedCase{"wav16", SF_FORMAT_WAV | SF_FORMAT_PCM_16, "wav", 16, -1.0f},
        NormalisedCase{"wav16FullScale", SF_FORMAT_WAV | SF_FORMAT_PCM_16, "wav", 16, 0.0f},
        // Past two chunks: chunk boundaries are crossed and the peak pass
        // reads the file in two halves at once.
        NormalisedCase{"wav24", SF_FORMAT_WAV | SF_FORMAT_PCM_24, "wav", 24, -6.0f,
                       2 * AudioConverterService::chunkSize + 5},
        NormalisedCase{"aiff24FullScale", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, "aiff", 24, 0.0f},
        NormalisedCase{"wav32", SF_FORMAT_WAV | SF_FORMAT_PCM_32, "wav", 32, -0.5f},
        NormalisedCase{"aiff32FullScale", SF_FORMAT_AIFF | SF_FORMAT_PCM_32, "aif", 32, 0.0f},
        NormalisedCase{"float32", SF_FORMAT_WAV | SF_FORMAT_FLOAT, "wav", 0, -1.0f},
        NormalisedCase{"float32FullScale", SF_FORMAT_WAV | SF_FORMAT_FLOAT, "wav", 0, 0.0f}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace twinfold::test
