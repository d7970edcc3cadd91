// Split pairs described and checked, batches with pairs that are none, and
// cancellation from another thread.
#include "analysis/AnalyzerFixture.h"
#include "analysis/FileDescription.h"

#include <map>

namespace twinfold::test {
namespace {

namespace fs = std::filesystem;

// The pair's name is its stem without the side marker, whatever the
// marker's case, with the extension lower-cased.
TEST(AudioFileInfoFileTest, SplitPairIsNamedWithoutItsMarker) {
    TempDir dir;
    const PcmFormat format{PcmContainer::aiff, PcmEncoding::int16, 48000};
    const auto left = dir / "Take 3.l.aif", right = dir / "Take 3.R.aif";
    writePcm(left, format, {noise(480, format.encoding, 1)});
    writePcm(right, format, {noise(480, format.encoding, 2)});
    EXPECT_EQ(describeSplitPair(left, right).filename, "Take 3.aif");
    writePcm(dir / "x.L.WAV", {PcmContainer::wav}, {noise(10, PcmEncoding::int16, 1)});
    writePcm(dir / "x.R.WAV", {PcmContainer::wav}, {noise(10, PcmEncoding::int16, 2)});
    EXPECT_EQ(describeSplitPair(dir / "x.L.WAV", dir / "x.R.WAV").filename, "x.wav");
}

TEST(AudioFileInfoFileTest, SplitPairMismatchesAreCheckedInOrder) {
    using Case = SplitStereoError::Case;
    const PcmFormat base{PcmContainer::wav, PcmEncoding::int16, 48000},
        otherRate{PcmContainer::wav, PcmEncoding::int16, 44100},
        otherDepth{PcmContainer::wav, PcmEncoding::int24, 48000};
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
        EXPECT_TRUE(e && e->errorCase() == expected && std::string(e->what()) == text) << leftName;
    }
}

// Files named as a pair that are no pair (different lengths, a stereo side)
// are listed as single files; a stereo side judged as channel 0 would lose
// its other channel on conversion.
TEST(AnalysisBatchTest, SplitPairBatchListsFilesThatDoNotPairAsSingleFiles) {
    TempDir dir;
    const PcmFormat fmt{PcmContainer::wav, PcmEncoding::int16};
    const Signal s = noise(3000, fmt.encoding, 1);
    const SplitPair a = writeSplitPair(dir.path(), "A", ".wav", fmt, s, s);
    const SplitPair b = writeSplitPair(dir.path(), "B", ".wav", fmt, s, noise(2999, fmt.encoding, 2));
    const SplitPair v = writeSplitPair(dir.path(), "V", ".wav", fmt, s, s);
    writePcm(v.left, fmt, {silence(3000), noise(3000, fmt.encoding, 3)});
    AudioAnalyzerService analyzer(minus96dBFS);
    EXPECT_THROW(analyzer.analyzeSplitPair(v.left, v.right), SplitStereoError);
    analyzer.cancel();  // cleared when the batch starts
    std::map<fs::path, ScanResult> byFile;
    for (const ScanResult& r :
         analyzer.analyzeSplitPairBatch({{a.left, a.right}, {b.left, b.right}, {v.left, v.right}}))
        byFile.emplace(r.fileInfo.path, r);
    ASSERT_TRUE(byFile.size() == 5 && byFile.at(a.left).pairedFilePath == a.right);
    for (const fs::path& single : {b.left, b.right, v.left, v.right}) EXPECT_FALSE(byFile.at(single).pairedFilePath);
    EXPECT_EQ(std::pair(byFile.at(v.left).silentChannel, byFile.at(v.left).fileInfo.channelCount),
              std::pair(SilentChannelStatus::left, 2));
}

// One frame per chunk makes "long" take far longer than the first report
// needs to arrive; the cancel from the batch's thread must stop it mid-file,
// so it is never reported, and the batch, though it has no group left to
// start, must not pass for complete.
TEST(AnalysisCancelTest, CancelDuringTheLastGroupDropsTheRunningFileAndFailsTheBatch) {
    TempDir dir;
    const std::vector<fs::path> paths{dir / "short.wav", dir / "long.wav"};
    writePcm(paths[0], {}, stereo(StereoKind::dualMono, 100, PcmEncoding::int16));
    writePcm(paths[1], {}, stereo(StereoKind::dualMono, 1'000'000, PcmEncoding::int16));
    AudioAnalyzerService analyzer(minus96dBFS, 1);
    int reports = 0;
    auto cancelOnFirst = [&](std::size_t, std::size_t, const std::string&) { ++reports, analyzer.cancel(); };
    EXPECT_THROW(analyzer.analyzeBatch(paths, 2, cancelOnFirst), AnalysisError);
    EXPECT_EQ(reports, 1);
}

}  // namespace
}  // namespace twinfold::test
