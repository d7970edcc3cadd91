// Batches: groups, and cancellation from another thread; the caller's stop
// token, heard by single analyses at their first chunk.
#include "analysis/AnalyzerFixture.h"

#include <atomic>
#include <functional>
#include <map>

namespace twinfold::test {
namespace {

using Path = std::filesystem::path;
namespace fs = std::filesystem;

Path writeStereo(const TempDir& dir, const std::string& name, std::size_t frames, std::uint32_t seed = 1) {
    writePcm(dir / name, {PcmContainer::wav, PcmEncoding::int16},
             stereo(StereoKind::dualMono, frames, PcmEncoding::int16, seed));
    return dir / name;
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
    const std::vector<Path> paths{writeStereo(dir, "short.wav", 100), writeStereo(dir, "long.wav", 1'000'000)};
    AudioAnalyzerService analyzer(minus96dBFS, 1);
    int reports = 0;
    auto cancelOnFirst = [&](std::size_t, std::size_t, const std::string&) { ++reports, analyzer.cancel(); };
    EXPECT_THROW(analyzer.analyzeBatch(paths, 2, cancelOnFirst), AnalysisError);
    EXPECT_EQ(reports, 1);
}

// A token that is set stops each kind of analysis before its first chunk;
// a clear one lets the same file through, so the stop is the token's doing.
TEST(StopTokenTest, ASetTokenStopsTheAnalysisAtItsFirstChunk) {
    TempDir dir;
    const PcmFormat pcm16{PcmContainer::wav, PcmEncoding::int16, 48000};
    writePcm(dir / "stereo.wav", pcm16, stereo(StereoKind::trueStereo, 48000, PcmEncoding::int16));
    writePcm(dir / "six.wav", pcm16, multichannel({6, {{1, 2}}, {5}}, 48000, PcmEncoding::int16));
    const Channels lr = stereo(StereoKind::dualMono, 48000, PcmEncoding::int16);
    const SplitPair pair = writeSplitPair(dir.path(), "Kick", ".wav", pcm16, lr[0], lr[1]);
    AudioAnalyzerService analyzer(minus96dBFS, 1000);
    const std::pair<const char*, std::function<ScanResult(const std::atomic<bool>*)>> kinds[] = {
        {"stereo", [&](auto* stop) { return analyzer.analyzeFile(dir / "stereo.wav", stop); }},
        {"multichannel", [&](auto* stop) { return analyzer.analyzeFile(dir / "six.wav", stop); }},
        {"split pair", [&](auto* stop) { return analyzer.analyzeSplitPair(pair.left, pair.right, stop); }}};
    const std::atomic<bool> stop{true}, go{false};
    for (const auto& [name, run] : kinds) {
        SCOPED_TRACE(name);
        EXPECT_NO_THROW(run(&go));
        const auto error = thrown<AnalysisError>([&] { run(&stop); });
        EXPECT_TRUE(error && error->errorCase() == AnalysisError::Case::cancelled);
        EXPECT_FALSE(analyzer.isCancelled());
    }
}

}  // namespace
}  // namespace twinfold::test
