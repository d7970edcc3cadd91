// The difference file: what a conversion would leave out, read back through
// libsndfile.
#include "analysis/AnalyzerFixture.h"
#include "conversion/DifferenceWriter.h"

namespace twinfold::test {
namespace {

constexpr std::size_t frames = 5000;
constexpr PcmEncoding i24 = PcmEncoding::int24;

TEST(DifferenceWav, HoldsWhatTheConversionDrops) {
    struct Row {
        StereoKind kind;
        bool pair;
        // The expected difference from left, right and the least-squares gain of right on left.
        double (*expected)(double l, double r, double gain);
    } rows[] = {
        {StereoKind::dualMono, false, [](double, double, double) { return 0.0; }},
        {StereoKind::panned, false, [](double l, double r, double g) { return r - g * l; }},
        {StereoKind::panned, true, [](double l, double r, double g) { return r - g * l; }},
        {StereoKind::phaseInverted, false, [](double l, double r, double) { return l + r; }},
        {StereoKind::trueStereo, false, [](double l, double r, double) { return l - r; }},
        {StereoKind::rightSilent, false, [](double, double r, double) { return r; }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(int(row.kind));
        TempDir dir;
        const Channels c = stereo(row.kind, frames, i24, 4, 0.3);
        AudioAnalyzerService analyzer(std::pow(10.0f, -96.0f / 20.0f));
        ScanResult result;
        if (row.pair) {
            const SplitPair pair = writeSplitPair(dir.path(), "S", ".wav", {PcmContainer::wav, i24, 44100}, c[0], c[1]);
            result = analyzer.analyzeSplitPair(pair.left, pair.right);
        } else {
            writePcm(dir / "s.wav", {PcmContainer::wav, i24, 44100}, c);
            result = analyzer.analyzeFile(dir / "s.wav");
        }
        ASSERT_TRUE(hasDifference(result));
        writeDifferenceWav(result, dir / "diff.wav");
        EXPECT_EQ(pcmFileInfo(dir / "diff.wav").sampleRate, 44100);
        const auto written = readFloats(dir / "diff.wav");
        ASSERT_EQ(written.size(), 1u);
        ASSERT_EQ(written[0].size(), frames);
        double dot = 0, squares = 0;
        for (std::size_t i = 0; i < frames; ++i) dot += c[0][i] * c[1][i], squares += c[0][i] * c[0][i];
        for (std::size_t i = 0; i < frames; ++i)
            ASSERT_NEAR(written[0][i], row.expected(c[0][i], c[1][i], dot / squares), 1e-6) << "frame " << i;
    }
}

TEST(DifferenceWav, AMonoFileHasNone) {
    TempDir dir;
    writePcm(dir / "m.wav", {PcmContainer::wav, i24}, {noise(frames, i24, 1)});
    EXPECT_FALSE(hasDifference(AudioAnalyzerService(1e-5f).analyzeFile(dir / "m.wav")));
}

}  // namespace
}  // namespace twinfold::test
