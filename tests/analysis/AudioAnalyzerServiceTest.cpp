// Stereo files and split pairs through the service: every kind of content in
// every PCM container, cut into one chunk or many, and the boundary cases.
#include "analysis/AudioAnalyzerService.h"
#include "support/PcmFixtures.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>

namespace twinfold {
namespace {

using namespace test;
const float minus96dBFS = std::pow(10.0f, -96.0f / 20.0f);

struct KindCase {
    StereoKind kind;
    const char* status;
};
constexpr KindCase kinds[] = {
    {StereoKind::dualMono, "Dual Mono"},
    {StereoKind::panned, "Mono Panned 50% L"},
    {StereoKind::phaseInverted, "Phase Inverted"},
    {StereoKind::leftSilent, "Silent Left Channel"},
    {StereoKind::rightSilent, "Silent Right Channel"},
    {StereoKind::bothSilent, "No Audio Content"},
    {StereoKind::trueStereo, "True Stereo"},
};
const PcmFormat formats[] = {
    {PcmContainer::wav, PcmEncoding::int16, 44100}, {PcmContainer::wav, PcmEncoding::int24, 48000},
    {PcmContainer::wav, PcmEncoding::float32, 48000}, {PcmContainer::aiff, PcmEncoding::int24, 96000},
    {PcmContainer::aifc, PcmEncoding::int16, 48000}, {PcmContainer::rf64, PcmEncoding::int32, 48000},
};

const char* extensionOf(PcmContainer c) { return c == PcmContainer::aiff || c == PcmContainer::aifc ? ".aif" : ".wav"; }

class StereoKindTest : public testing::TestWithParam<std::tuple<KindCase, PcmFormat>> {};

// The verdict must not depend on how the file is cut into chunks, and a split
// pair must read exactly like the stereo file with the same two channels.
TEST_P(StereoKindTest, ClassifiesFileAndSplitPairAlikeForAnyChunkSize) {
    const auto [kind, format] = GetParam();
    TempDir dir;
    const Channels channels = stereo(kind.kind, 5000, format.encoding);
    const auto file = dir / (std::string("take") + extensionOf(format.container));
    writePcm(file, format, channels);
    const SplitPair pair = writeSplitPair(dir.path(), "Take", extensionOf(format.container), format,
                                          channels[0], channels[1]);
    for (std::uint32_t chunkSize : {AudioAnalyzerService::defaultChunkSize, 1024u, 999u}) {
        AudioAnalyzerService analyzer(minus96dBFS, chunkSize);
        const ScanResult single = analyzer.analyzeFile(file);
        EXPECT_EQ(single.statusText(), kind.status) << "chunk size " << chunkSize;
        EXPECT_FALSE(single.pairedFileURL);
        const ScanResult split = analyzer.analyzeSplitPair(pair.left, pair.right);
        EXPECT_EQ(split.statusText(), kind.status) << "chunk size " << chunkSize;
        EXPECT_EQ(split.pairedFileURL, pair.right);
        EXPECT_EQ(split.fileInfo.filename, std::string("Take") + extensionOf(format.container));
    }
}

INSTANTIATE_TEST_SUITE_P(AllFormats, StereoKindTest, testing::Combine(testing::ValuesIn(kinds), testing::ValuesIn(formats)));

ScanResult analyze(const TempDir& dir, const Channels& channels, PcmEncoding encoding = PcmEncoding::int16,
                   std::uint32_t chunkSize = 1000) {
    const auto path = dir / "case.wav";
    writePcm(path, {PcmContainer::wav, encoding}, channels);
    return AudioAnalyzerService(minus96dBFS, chunkSize).analyzeFile(path);
}

TEST(StereoBoundaryTest, SampleExactlyAtTheThresholdIsSilence) {
    TempDir dir;
    const Signal right = noise(3000, PcmEncoding::float32, 3);
    Signal left = silence(3000);
    left[10] = minus96dBFS, left[2999] = -minus96dBFS;
    EXPECT_EQ(analyze(dir, {left, right}, PcmEncoding::float32).statusText(), "Silent Left Channel");
    left[2999] = -std::nextafter(minus96dBFS, 1.0f);
    EXPECT_EQ(analyze(dir, {left, right}, PcmEncoding::float32).statusText(), "True Stereo");
}

TEST(StereoBoundaryTest, OneBitDifferentInTheLastChunkIsPannedAtOnePercent) {
    TempDir dir;
    Channels c = stereo(StereoKind::dualMono, 4500, PcmEncoding::int16);
    c[1][4499] += 1.0 / 32768;
    const ScanResult r = analyze(dir, c);
    EXPECT_FALSE(r.isDualMono);
    EXPECT_TRUE(r.isPannedMono);
    EXPECT_EQ(r.pannedMonoPanPercent, 1);
}

TEST(StereoBoundaryTest, PannedMonoNeedsAThousandFrames) {
    TempDir dir;
    EXPECT_EQ(analyze(dir, stereo(StereoKind::panned, 999, PcmEncoding::int16)).statusText(), "True Stereo");
    EXPECT_EQ(analyze(dir, stereo(StereoKind::panned, 1000, PcmEncoding::int16)).statusText(), "Mono Panned 50% L");
    const Signal loud = noise(1000, PcmEncoding::int16, 5);
    EXPECT_EQ(analyze(dir, {scaled(loud, 0.5, PcmEncoding::int16), loud}).statusText(), "Mono Panned 50% R");
}

TEST(StereoBoundaryTest, NeitherDcNorAnInvertedCopyAtAnotherGainCountsAsMono) {
    TempDir dir;
    const auto enc = PcmEncoding::int24;
    EXPECT_EQ(analyze(dir, {dc(48000, 0.1, enc), dc(48000, 0.2, enc)}, enc, 4096).statusText(), "True Stereo");
    EXPECT_EQ(analyze(dir, {dc(48000, 0.3, enc), dc(48000, -0.6, enc)}, enc, 4096).statusText(), "True Stereo");
    const Signal left = noise(48000, enc, 9);
    EXPECT_EQ(analyze(dir, {left, scaled(inverted(left, enc), 0.5, enc)}, enc).statusText(), "True Stereo");
}

TEST(StereoBoundaryTest, EmptyAndMonoFiles) {
    TempDir dir;
    const ScanResult empty = analyze(dir, Channels(2));
    EXPECT_EQ(empty.silentChannel, SilentChannelStatus::both);
    EXPECT_FALSE(empty.isDualMono);
    const ScanResult mono = analyze(dir, {noise(2000, PcmEncoding::int16, 2)});
    EXPECT_EQ(mono.statusText(), "Already Mono");
    EXPECT_FALSE(mono.isDualMono || mono.isPannedMono || mono.isPhaseInverted || mono.multichannelAnalysis);
}

TEST(SplitPairTest, MismatchedFilesFailWithTheirSplitStereoError) {
    TempDir dir;
    const Signal s = noise(2000, PcmEncoding::int16, 1);
    using Case = SplitStereoError::Case;
    const std::tuple<PcmFormat, Signal, Case> cases[] = {
        {{PcmContainer::wav, PcmEncoding::int16, 44100}, s, Case::mismatchedSampleRate},
        {{PcmContainer::wav, PcmEncoding::int16, 48000}, noise(1999, PcmEncoding::int16, 1), Case::mismatchedFrameCount},
        {{PcmContainer::wav, PcmEncoding::int24, 48000}, s, Case::mismatchedBitDepth},
    };
    AudioAnalyzerService analyzer(minus96dBFS);
    for (const auto& [rightFormat, right, expected] : cases) {
        writePcm(dir / "x.L.wav", {PcmContainer::wav, PcmEncoding::int16, 48000}, {s});
        writePcm(dir / "x.R.wav", rightFormat, {right});
        try {
            analyzer.analyzeSplitPair(dir / "x.L.wav", dir / "x.R.wav");
            ADD_FAILURE() << "no error";
        } catch (const SplitStereoError& e) {
            EXPECT_EQ(e.errorCase(), expected);
        }
    }
}

}  // namespace
}  // namespace twinfold
