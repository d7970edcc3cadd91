// The caller's stop token: heard by single analyses at their first chunk and
// by batches, which clear only the service's own flag when they start.
#include "analysis/AudioAnalyzerService.h"
#include "support/PcmFixtures.h"
#include "support/TempDir.h"
#include "support/Thrown.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <functional>

namespace twinfold {
namespace {

using namespace test;
using Path = std::filesystem::path;
using Case = AnalysisError::Case;
const float minus96dBFS = std::pow(10.0f, -96.0f / 20.0f);
constexpr PcmFormat pcm16{PcmContainer::wav, PcmEncoding::int16, 48000};

void expectCancelled(const std::function<void()>& analysis) {
    const auto error = thrown<AnalysisError>(analysis);
    EXPECT_TRUE(error && error->errorCase() == Case::cancelled);
}

// A token that is set stops each kind of analysis before its first chunk;
// a clear one lets the same file through, so the stop is the token's doing.
TEST(StopTokenTest, ASetTokenStopsTheAnalysisAtItsFirstChunk) {
    TempDir dir;
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
        expectCancelled([&] { run(&stop); });
        EXPECT_FALSE(analyzer.isCancelled());
    }
}

// The batches clear the service's flag as they start; a token set before
// the call must still stop them, with nothing reported.
TEST(StopTokenBatchTest, ATokenSetBeforeTheBatchStopsIt) {
    TempDir dir;
    std::vector<Path> files;
    for (const char* name : {"a.wav", "b.wav", "c.wav"}) {
        writePcm(dir / name, pcm16, stereo(StereoKind::dualMono, 4800, PcmEncoding::int16));
        files.push_back(dir / name);
    }
    const Channels lr = stereo(StereoKind::dualMono, 4800, PcmEncoding::int16);
    const SplitPair pair = writeSplitPair(dir.path(), "Kick", ".wav", pcm16, lr[0], lr[1]);
    AudioAnalyzerService analyzer(minus96dBFS);
    int reports = 0;
    const BatchProgress count = [&](std::size_t, std::size_t, const std::string&) { ++reports; };
    const std::atomic<bool> stop{true};
    expectCancelled([&] { analyzer.analyzeBatch(files, 4, count, &stop); });
    expectCancelled([&] { analyzer.analyzeSplitPairBatch({{pair.left, pair.right}}, 4, count, &stop); });
    EXPECT_EQ(reports, 0);
    // The service's own flag fails every single analysis until a batch clears it.
    analyzer.cancel();
    EXPECT_EQ(thrownMessage<AnalysisError>([&] { analyzer.analyzeFile(files[0]); }), "Analysis was cancelled");
    const std::atomic<bool> go{false};
    EXPECT_EQ(analyzer.analyzeBatch(files, 4, count, &go).size(), 3u);
    EXPECT_FALSE(analyzer.isCancelled());
}

}  // namespace
}  // namespace twinfold
