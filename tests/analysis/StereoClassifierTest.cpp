// The one-sweep stereo classifier against a literal pass-by-pass reading of
// the tests, and the panned-mono arithmetic on hand-made moments.
#include "analysis/BlockLoop.h"
#include "analysis/StereoClassifier.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <utility>

namespace twinfold {
namespace {

using Samples = std::vector<float>;
constexpr float threshold = 1.5848932e-05f;  // -96 dBFS

// Two arrays read as a file, fed into the classifier.
struct ArrayFile {
    const Samples &l, &r;
    StereoClassifier classifier{threshold, std::int64_t(l.size())};
    std::int64_t pos = 0, start = 0;
    std::int64_t position() const { return pos; }
    void seek(std::int64_t frame) { pos = frame; }
    std::uint32_t read(std::uint32_t n) {
        start = pos;
        pos += n = std::uint32_t(std::min<std::int64_t>(n, std::int64_t(l.size()) - pos));
        return n;
    }
    void add(ArrayFile&, std::uint32_t n) { classifier.add(l.data() + start, r.data() + start, n); }
    void endChunk() { classifier.endChunk(); }
    bool isSettled() const { return false; }
};

StereoVerdict sweep(const Samples& l, const Samples& r, std::uint32_t chunk, std::uint32_t run) {
    ArrayFile file{l, r};
    std::atomic<bool> cancelled{false};
    streamChunks(file, file, {std::int64_t(l.size()), chunk, run}, cancelled);
    return file.classifier.verdict();
}

// The four passes one after the other, as defined, in plain scalar code;
// only the panned-mono sums come chunk by chunk.
StereoVerdict passByPass(const Samples& l, const Samples& r, std::size_t chunk) {
    const std::size_t n = l.size();
    auto heard = [](const Samples& s) {
        return std::any_of(s.begin(), s.end(), [](float x) { return std::fabs(x) > threshold; });
    };
    const bool heardL = heard(l), heardR = heard(r);
    StereoVerdict v;
    v.silentChannel = heardL ? (heardR ? SilentChannelStatus::none : SilentChannelStatus::right)
                             : (heardR ? SilentChannelStatus::left : SilentChannelStatus::both);
    if (v.silentChannel != SilentChannelStatus::none) return v;
    if ((v.isDualMono = std::memcmp(l.data(), r.data(), n * sizeof(float)) == 0)) return v;
    StereoMoments m;
    for (std::size_t p = 0; n >= 1000 && p < n; p += chunk) {
        kernels::StereoLaneSums sums;
        sums.add(l.data() + p, r.data() + p, std::min(chunk, n - p));
        m.addBlock(sums.takeChunk(), std::min(chunk, n - p));
    }
    if ((v.pannedMono = decidePannedMono(m, std::int64_t(n)))) return v;
    v.isPhaseInverted = true;
    for (std::size_t i = 0; i < n; ++i) v.isPhaseInverted &= std::fabs(l[i] + r[i]) <= threshold;
    return v;
}

// Signals near every decision boundary: copies, scaled and inverted copies,
// levels around the threshold, and a single differing sample anywhere.
std::pair<Samples, Samples> randomCase(std::mt19937& rng) {
    const std::size_t frames = std::uniform_int_distribution<std::size_t>(0, 5000)(rng);
    const float level = std::array{0.5f, threshold * 1.2f, threshold}[rng() % 3];
    std::uniform_real_distribution<float> u(-level, level);
    Samples l(frames), r(frames);
    for (float& x : l) x = u(rng);
    const int kind = int(rng() % 6);
    const float gain = std::array{1.0f, -1.0f, 0.5f, -0.5f, 0.0f}[rng() % 5];
    for (std::size_t i = 0; i < frames; ++i) r[i] = kind == 5 ? u(rng) : l[i] * gain;
    if (kind == 1 && frames) std::swap(l, r);
    if (kind == 2 && frames) r[rng() % frames] += level;
    if (kind == 3) std::fill(l.begin(), l.end(), 0.0f);
    if (kind == 4 && frames) {
        const std::size_t k = rng() % frames;
        l[k] = threshold, r[k] = 0.0f;  // a level, and a sum, exactly at the threshold
    }
    return {l, r};
}

TEST(StereoClassifierTest, OneSweepMatchesThePassesForAnyChunkingOfTheRuns) {
    std::mt19937 rng(20240611);
    for (int i = 0; i < 400; ++i) {
        auto [l, r] = randomCase(rng);
        const std::uint32_t chunk = std::array{1u, 7u, 64u, 999u, 1000u, 4096u}[rng() % 6];
        const StereoVerdict expected = passByPass(l, r, chunk);
        for (std::uint32_t run : {8u, 64u, chunk}) {
            if (run > chunk) continue;
            ASSERT_EQ(sweep(l, r, chunk, run), expected) << "case " << i << " chunk " << chunk << " run " << run;
        }
    }
}

StereoMoments moments(double varL, double varR, double covariance, double meanL = 0, double meanR = 0) {
    const double n = 1000;
    return {
        meanL * n, meanR * n, (varL + meanL * meanL) * n, (varR + meanR * meanR) * n, (covariance + meanL * meanR) * n,
        1000};
}

// The plain cases (a pan, an inverted copy, a file too short) are the file
// tests' verdicts; here the louder side with offsets, ties, rounding and the
// edges of the threshold.
TEST(PannedMonoTest, DecidesLouderSideAndPercent) {
    using C = ChannelSelection;
    const std::optional<PannedMonoVerdict> none;
    EXPECT_EQ(decidePannedMono(moments(0.25, 1, 0.5, 0.1, -0.2), 1000), (PannedMonoVerdict{C::right, 50}));
    EXPECT_EQ(decidePannedMono(moments(1, 1, 1), 1000), (PannedMonoVerdict{C::left, 1}));  // tie, raised to 1
    // 1 − 0.375 = 62.5 %: halves go away from zero.
    EXPECT_EQ(decidePannedMono(moments(1, 0.140625, 0.375), 1000), (PannedMonoVerdict{C::left, 63}));
    // 0.98999999 is below 0.99 in double but rounds to 0.99 in float.
    EXPECT_TRUE(decidePannedMono(moments(1, 1, 0.98999999), 1000));
    EXPECT_EQ(decidePannedMono(moments(1, 1, 0.98999996), 1000), none);
    EXPECT_EQ(decidePannedMono(moments(-1e-7, -1e-7, 1e-7), 1000), none);  // rounding below zero
    EXPECT_EQ(decidePannedMono(moments(1, 1, NAN), 1000), none);
}

// The residual of the best scaled copy, from the raw (not mean-removed) sums.
TEST(PannedMonoTest, FitsTheKeptSideToTheDroppedSide) {
    using C = ChannelSelection;
    const float none = -INFINITY;
    // The moments, the louder side, the gain and the residual.
    const std::tuple<StereoMoments, C, double, float> rows[] = {
        // L = 0.5·sin a, R = 0.35·sin a + 0.045·sin b: the 0.045 sine is left,
        // 0.045 / √(0.35² + 0.045²) of R's level.
        {moments(0.125, 0.0622625, 0.0875), C::left, 0.7, -17.8883f},
        {moments(0.0622625, 0.125, 0.0875), C::right, 0.7, -17.8883f},
        {moments(1, 0.25, 0.5), C::left, 0.5, none},               // an exact copy at half level
        {moments(1, 0.25, 0.5, 0, 0.1), C::left, 0.5, -14.1497f},  // an offset on one side is content
        {moments(1, 1, 0), C::left, 0, 0},                         // nothing in common
        {moments(1, 0, 0), C::left, 0, none},                      // nothing dropped
    };
    for (const auto& [m, louder, gain, relativedB] : rows) {
        const PanFit fit = fitPan(m, louder);
        EXPECT_NEAR(fit.gain, gain, 1e-12) << relativedB;
        EXPECT_TRUE(relativedB == none ? fit.relativedB == none : std::fabs(fit.relativedB - relativedB) < 1e-3)
            << fit.relativedB << " instead of " << relativedB;
    }
}

// Constant channels have no variation, but float sums over millions of
// samples leave rounding residue in E[x²] − E[x]² that must not read as one.
TEST(PannedMonoTest, ConstantChannelsAreNeverPanned) {
    for (float a = 0.03125f; a < 1; a += 0.0947f) {
        for (float b = -0.9f; b < 1; b += 0.1103f) {
            const Samples l(1'000'000, a), r(1'000'000, b);
            kernels::StereoLaneSums sums;
            sums.add(l.data(), r.data(), l.size());
            const kernels::BlockSums chunk = sums.takeChunk();
            StereoMoments m;
            for (int i = 0; i < 3; ++i) m.addBlock(chunk, l.size());
            EXPECT_FALSE(decidePannedMono(m, m.frames)) << a << ", " << b;
        }
    }
}

}  // namespace
}  // namespace twinfold
