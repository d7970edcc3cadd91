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

}  // namespace
}  // namespace twinfold
