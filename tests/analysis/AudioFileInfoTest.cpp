#include "analysis/AnalyzerFixture.h"
#include "analysis/FileDescription.h"
#include "audio_io/AudioFormat.h"

namespace twinfold::test {
namespace {

namespace fs = std::filesystem;
using C = PcmContainer;
using E = PcmEncoding;

TEST(AudioFileInfoFileTest, SplitPairCombinesNamesAndSizes) {
    TempDir dir;
    const PcmFormat format{PcmContainer::aiff, PcmEncoding::int16, 48000};
    const auto left = dir / "Take 3.l.aif", right = dir / "Take 3.R.aif";
    writePcm(left, format, {noise(480, format.encoding, 1)});
    writePcm(right, format, {noise(480, format.encoding, 2)});
    const AudioFileInfo info = describeSplitPair(left, right);
    EXPECT_EQ(
        std::tuple(info.filename, info.channelCount, info.path, info.sourceFormatID, info.fileSize),
        std::tuple("Take 3.aif", 2, left, kFormatLinearPCM, std::int64_t(fs::file_size(left) + fs::file_size(right))));

    writePcm(dir / "x.L.WAV", {PcmContainer::wav}, {noise(10, PcmEncoding::int16, 1)});
    writePcm(dir / "x.R.WAV", {PcmContainer::wav}, {noise(10, PcmEncoding::int16, 2)});
    EXPECT_EQ(describeSplitPair(dir / "x.L.WAV", dir / "x.R.WAV").filename, "x.wav");
}

TEST(AudioFileInfoFileTest, SplitPairMismatchesAreCheckedInOrder) {
    using Case = SplitStereoError::Case;
    const PcmFormat base{C::wav, E::int16, 48000}, otherRate{C::wav, E::int16, 44100},
        otherDepth{C::wav, E::int24, 48000};
    // A rate and a length mismatch together report the rate.
    const std::tuple<PcmFormat, std::size_t, const char*, Case, const char*> cases[] = {
        {otherRate, 90, "Kick.L.wav", Case::mismatchedSampleRate, "Split stereo pair has mismatched sample rates"},
        {base, 90, "Kick.L.wav", Case::mismatchedFrameCount, "Split stereo pair has mismatched frame counts"},
        {otherDepth, 100, "Kick.L.wav", Case::mismatchedBitDepth, "Split stereo pair has mismatched bit depths"},
        {base, 100, ".L.wav", Case::invalidFilename, "Split stereo file has an invalid .L/.R filename"},
        {base, 100, "Kick_L.wav", Case::invalidFilename, "Split stereo file has an invalid .L/.R filename"},
    };
    for (const auto& [rightFormat, rightFrames, leftName, expected, text] : cases) {
        TempDir dir;
        writePcm(dir / leftName, base, {noise(100, base.encoding, 1)});
        writePcm(dir / "Kick.R.wav", rightFormat, {noise(rightFrames, rightFormat.encoding, 2)});
        const auto e = thrown<SplitStereoError>([&] { describeSplitPair(dir / leftName, dir / "Kick.R.wav"); });
        ASSERT_TRUE(e) << leftName;
        EXPECT_EQ(e->errorCase(), expected) << leftName;
        EXPECT_STREQ(e->what(), text);
    }
}

}  // namespace
}  // namespace twinfold::test
