// Batches: split pairs that are none, and cancellation from another thread.
#include "analysis/AnalyzerFixture.h"

#include <map>

namespace twinfold::test {
namespace {

namespace fs = std::filesystem;

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
    ASSERT_EQ(byFile.size(), 5u);
    EXPECT_EQ(byFile.at(a.left).pairedFilePath, a.right);
    for (const fs::path& single : {b.left, b.right, v.left, v.right}) EXPECT_FALSE(byFile.at(single).pairedFilePath);
    EXPECT_EQ(byFile.at(v.left).silentChannel, SilentChannelStatus::left);
    EXPECT_EQ(byFile.at(v.left).fileInfo.channelCount, 2);
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
