// The evidence behind a verdict: the numbers against values worked out from
// the generated signals, track names from an iXML chunk, and the difference
// file.
#include "analysis/AnalyzerFixture.h"
#include "conversion/ConversionPlan.h"
#include "conversion/DifferenceWriter.h"
#include "support/ChunkFixtures.h"

#include <numeric>

namespace twinfold::test {
namespace {

constexpr PcmEncoding i16 = PcmEncoding::int16, i24 = PcmEncoding::int24;
constexpr std::size_t frames = 6000;
constexpr double lsb = 1.0 / 32768;

double dB(double linear) { return linear > 0 ? 20 * std::log10(linear) : -INFINITY; }

double rms(const Signal& s) {
    return std::sqrt(std::inner_product(s.begin(), s.end(), s.begin(), 0.0) / double(s.size()));
}

// Largest |a ± b|.
double largest(const Signal& a, const Signal& b, double sign) {
    double m = 0;
    for (std::size_t i = 0; i < a.size(); ++i) m = std::max(m, std::fabs(a[i] + sign * b[i]));
    return m;
}

void expectLevel(float actual, double expected, const char* what) {
    EXPECT_TRUE(std::isinf(expected) ? actual == -INFINITY : std::fabs(actual - expected) <= 0.01)
        << what << " " << actual;
}

TEST(Evidence, NumbersMatchTheSignal) {
    Channels lastDiffers = stereo(StereoKind::dualMono, frames, i16);
    lastDiffers[1].back() += lastDiffers[1].back() > 0 ? -lsb : lsb;
    // The samples, where they first differ, and their correlation.
    const std::tuple<const char*, Channels, std::optional<std::int64_t>, double> rows[] = {
        {"dual mono", stereo(StereoKind::dualMono, frames, i16), std::nullopt, 1.0},
        {"last sample differs", lastDiffers, frames - 1, 1.0},
        {"phase inverted", stereo(StereoKind::phaseInverted, frames, i16), 0, -1.0},
        {"constant levels", {dc(frames, 0.5, i16), dc(frames, -0.25, i16)}, 0, 0.0},
    };
    for (const auto& [name, c, firstDifference, correlation] : rows) {
        SCOPED_TRACE(name);
        TempDir dir;
        writePcm(dir / "f.wav", {PcmContainer::wav, i16}, c);
        // A small chunk size: the figures must not depend on where chunks end.
        const ScanResult r = AudioAnalyzerService(minus96dBFS, 1000).analyzeFile(dir / "f.wav");
        ASSERT_TRUE(r.evidence.channels.size() == 2 && r.evidence.pair);
        for (std::size_t side = 0; side < 2; ++side) {
            const ChannelEvidence& e = r.evidence.channels[side];
            expectLevel(e.peakdBFS, dB(largest(c[side], Signal(frames), 1)), "peak");
            expectLevel(e.rmsdBFS, dB(rms(c[side])), "rms");
            const double mean = std::accumulate(c[side].begin(), c[side].end(), 0.0) / double(frames);
            EXPECT_TRUE(!e.isSilent && std::fabs(e.dcOffset - mean) < 1e-5) << e.dcOffset << " for " << mean;
        }
        const PairEvidence& p = *r.evidence.pair;
        EXPECT_EQ(p.firstDifferingFrame, firstDifference);
        expectLevel(p.maxDifferencedBFS, dB(largest(c[0], c[1], -1)), "difference");
        expectLevel(p.maxSumdBFS, dB(largest(c[0], c[1], 1)), "sum");
        EXPECT_NEAR(p.correlation, correlation, 1e-3);
    }
}

ScanResult polyFile(const TempDir& dir, const std::vector<std::string>& names) {
    ChunkFixture fixture{.channels = 8};
    for (std::size_t i = 0; i < 8 * 2000; ++i)
        fixture.samples.push_back(i % 8 == 7 ? 0 : std::int32_t((i * 37) % 2000) - 1000);
    std::string xml = "<BWFXML><TRACK_LIST><TRACK_COUNT>8</TRACK_COUNT>";
    for (std::size_t t = 0; t < names.size(); ++t)
        xml += "<TRACK><CHANNEL_INDEX>" + std::to_string(t + 1) + "</CHANNEL_INDEX><INTERLEAVE_INDEX>" +
               std::to_string(t + 1) + "</INTERLEAVE_INDEX><NAME>" + names[t] + "</NAME></TRACK>";
    fixture.after = {ixmlChunk(xml + "</TRACK_LIST></BWFXML>")};
    writeChunkFixture(dir / "poly.wav", fixture);
    return AudioAnalyzerService(minus96dBFS).analyzeFile(dir / "poly.wav");
}

// Split outputs take the recorder's names only when every channel has its
// own; otherwise, and with the setting off, channel numbers.
TEST(Evidence, TrackNamesNameSplitOutputsWhenAllAreDistinct) {
    const std::vector<std::string> distinct{"Mix L", "Mix R", "Boom", "Lav 1", "Lav 2", "Plant &amp; Co", "X", "Spare"};
    // The track names, the setting, and the output of channel 3.
    const std::tuple<std::vector<std::string>, bool, const char*> rows[] = {
        {distinct, true, "poly_mono_Boom.wav"},
        {distinct, false, "poly_mono_ch3_C.wav"},
        {{"Mix L", "Mix R", "Boom", "BOOM", "Lav 2", "Plant", "X", "Spare"}, true, "poly_mono_ch3_C.wav"},
        {{"Mix L", "Mix R", "Boom", "Lav 1", "Lav 2", "Plant", "A/B", "Spare"}, true, "poly_mono_ch3_C.wav"},
        {{"Mix L", "Mix R", "Boom"}, true, "poly_mono_ch3_C.wav"},  // five channels unnamed
    };
    for (const auto& [names, setting, third] : rows) {
        TempDir dir;
        const ScanResult r = polyFile(dir, names);
        EXPECT_TRUE(r.evidence.channels.size() == 8 && r.evidence.channels[2].trackName == "Boom");
        const ConversionPlan plan = planConversion({r}, {.nameSplitsByTrackName = setting}, {});
        ASSERT_TRUE(plan.items.size() == 1 && plan.items[0].outputs.size() == 8);
        EXPECT_EQ(plan.items[0].outputs[2].path.filename(), third) << names.size();
    }
    TempDir dir;
    EXPECT_EQ(polyFile(dir, distinct).evidence.channels[5].trackName, "Plant & Co");
}

// ---- the difference file: what a conversion would leave out, read back through libsndfile

TEST(DifferenceWav, HoldsWhatTheConversionDrops) {
    // The content, whether it is a split pair, and the expected difference
    // from left, right and the least-squares gain of right on left.
    const std::tuple<StereoKind, bool, double (*)(double l, double r, double gain)> rows[] = {
        {StereoKind::dualMono, false, [](double, double, double) { return 0.0; }},
        {StereoKind::panned, false, [](double l, double r, double g) { return r - g * l; }},
        {StereoKind::panned, true, [](double l, double r, double g) { return r - g * l; }},
        {StereoKind::phaseInverted, false, [](double l, double r, double) { return l + r; }},
        {StereoKind::trueStereo, false, [](double l, double r, double) { return l - r; }},
        {StereoKind::rightSilent, false, [](double, double r, double) { return r; }},
    };
    for (const auto& [kind, pair, expected] : rows) {
        SCOPED_TRACE(int(kind));
        TempDir dir;
        const Channels c = stereo(kind, frames, i24, 4, 0.3);
        AudioAnalyzerService analyzer(minus96dBFS);
        const PcmFormat format{PcmContainer::wav, i24, 44100};
        const SplitPair files = writeSplitPair(dir.path(), "S", ".wav", format, c[0], c[1]);
        writePcm(dir / "s.wav", format, c);
        const ScanResult result =
            pair ? analyzer.analyzeSplitPair(files.left, files.right) : analyzer.analyzeFile(dir / "s.wav");
        ASSERT_TRUE(hasDifference(result));
        writeDifferenceWav(result, dir / "diff.wav");
        EXPECT_EQ(pcmFileInfo(dir / "diff.wav").sampleRate, 44100);
        const auto written = readFloats(dir / "diff.wav");
        ASSERT_TRUE(written.size() == 1 && written[0].size() == frames);
        double dot = 0, squares = 0;
        for (std::size_t i = 0; i < frames; ++i) dot += c[0][i] * c[1][i], squares += c[0][i] * c[0][i];
        for (std::size_t i = 0; i < frames; ++i)
            ASSERT_NEAR(written[0][i], expected(c[0][i], c[1][i], dot / squares), 1e-6) << "frame " << i;
    }
}

}  // namespace
}  // namespace twinfold::test
