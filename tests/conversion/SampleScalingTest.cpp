// The converter rounds scaled samples itself and hands the writer integers,
// so its rounding must be the writer's rule for float samples to the bit.
// The writer's own routine is the reference here.
#include "conversion/SampleScaling.h"

#include "audio_io/PcmCodec.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>

namespace twinfold {
namespace {

// Values where rounding or clipping could go wrong at `bits`: halves and
// their neighbours near zero, near full scale, where floats stop having
// fractions (2^22 … 2^24 grid steps) and past full scale.
std::vector<float> awkwardValues(int bits) {
    const float top = std::ldexp(1.0f, bits - 1);
    std::vector<float> values{0.0f, -0.0f, std::numeric_limits<float>::quiet_NaN(),
                              -std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::denorm_min(),
                              -std::numeric_limits<float>::min(), std::numeric_limits<float>::max(),
                              -std::numeric_limits<float>::max()};
    for (float base : {0.0f, top - 1.0f, top, top / 2, 0x1p22f, 0x1p23f, 0x1p24f}) {
        for (float offset : {-2.5f, -1.5f, -1.0f, -0.5f, -0.25f, 0.0f, 0.25f, 0.5f, 0.75f, 1.0f, 1.5f, 2.5f}) {
            const float v = (base + offset) / top;
            for (float w : {v, std::nextafter(v, 0.0f), std::nextafter(v, 2.0f)}) values.insert(values.end(), {w, -w});
        }
    }
    return values;
}

// Awkward values, then random bit patterns and random levels around full scale.
std::vector<float> testFloats(int bits) {
    std::vector<float> values = awkwardValues(bits);
    std::mt19937 random{unsigned(bits)};
    std::uniform_real_distribution<float> level(-1.5f, 1.5f);
    for (int i = 0; i < 200'000; ++i) {
        values.push_back(i % 2 ? level(random) : std::bit_cast<float>(std::uint32_t(random())));
    }
    return values;
}

// Scales `samples` by `factor` through scaleToGrid and through the writer's
// rounding of the same single-precision products; fails at the first difference.
template <typename Sample>
void expectWriterRounding(const std::vector<Sample>& samples, float factor, int bits) {
    std::vector<float> scaled;
    for (Sample s : samples) scaled.push_back(float(s) * factor);
    std::vector<std::int32_t> expected(samples.size()), actual(samples.size());
    detail::quantizePcm(scaled.data(), scaled.size(), bits, expected.data());
    scaleToGrid(samples.data(), samples.size(), factor, bits, actual.data());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        ASSERT_EQ(actual[i], expected[i]) << "factor " << factor << " sample " << std::hexfloat << samples[i];
    }
}

class SampleScalingTest : public ::testing::TestWithParam<int> {};

TEST_P(SampleScalingTest, ScaledSamplesRoundAsTheWriterRoundsThem) {
    const int bits = GetParam();
    std::vector<float> floats = testFloats(bits);
    floats.erase(floats.begin());  // an odd start and length: the loop's edges
    std::mt19937 random(7);
    std::vector<std::int32_t> ints{std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max(),
                                   0, 1, -1, 0x7FFFFF80, -0x7FFFFF80};
    for (int i = 0; i < 100'001; ++i) ints.push_back(std::int32_t(random()));
    // A gain of infinity turns silence into NaN, which the writer writes as 0.
    for (float gain : {1.0f, 1.7825f, 0.2506f, 5.6234f, 3.0517578e-5f, 1e30f, std::numeric_limits<float>::infinity()}) {
        expectWriterRounding(floats, gain, bits);
        expectWriterRounding(ints, gain * 0x1p-31f, bits);  // integers have full scale 2^31
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, SampleScalingTest, ::testing::Values(8, 16, 24, 32));

}  // namespace
}  // namespace twinfold
