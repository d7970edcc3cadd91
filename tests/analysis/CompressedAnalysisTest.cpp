// Compressed files decode through FFmpeg; only what survives lossy coding
// is expected of them (a noise copy at half level does not stay correlated
// at 0.99 through AAC, and raw ADTS does not keep dual mono bit-identical).
#include "analysis/AudioAnalyzerService.h"
#include "support/CompressedFixtures.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>

namespace twinfold {
namespace {

using namespace test;

enum class Content { dual, leftSilent, rightSilent, independent, inverted, panned, sixChannels };

Channels channelsFor(Content content) {
    const std::size_t frames = 44100;
    Channels c = dualMono(frames);
    switch (content) {
    case Content::dual: return c;
    case Content::leftSilent: return oneSideSilent(frames, 0);
    case Content::rightSilent: return oneSideSilent(frames, 1);
    case Content::independent: return independentNoise(frames, 2);
    case Content::sixChannels: return independentNoise(frames, 6);
    case Content::inverted:
        for (float& x : c[1]) x = -x;
        return c;
    case Content::panned:
        for (float& x : c[1]) x *= 0.5f;
        return c;
    }
    return c;
}

struct CompressedCase {
    EncodedFormat format;
    Content content;
    const char* status;
};

class CompressedAnalysisTest : public testing::TestWithParam<CompressedCase> {};

TEST_P(CompressedAnalysisTest, Classifies) {
    const CompressedCase& c = GetParam();
    TempDir dir;
    const auto path = writeCompressed(dir.path(), "take" + extensionFor(c.format), channelsFor(c.content), c.format);
    const ScanResult r = AudioAnalyzerService(std::pow(10.0f, -96.0f / 20.0f), 4096).analyzeFile(path);
    EXPECT_EQ(r.statusText(), c.status);
    EXPECT_EQ(r.potentialSavings, 0);  // a lossy source only grows as PCM
}

using F = EncodedFormat;
using C = Content;
INSTANTIATE_TEST_SUITE_P(
    Formats, CompressedAnalysisTest,
    testing::Values(CompressedCase{F::mp3, C::dual, "Dual Mono"}, CompressedCase{F::mp3, C::leftSilent, "Silent Left Channel"},
                    CompressedCase{F::mp3, C::rightSilent, "Silent Right Channel"},
                    CompressedCase{F::mp3, C::independent, "True Stereo"},
                    CompressedCase{F::mp3, C::inverted, "Phase Inverted"},
                    CompressedCase{F::mp3, C::panned, "Mono Panned 50% L"},
                    CompressedCase{F::m4aAac, C::dual, "Dual Mono"},
                    CompressedCase{F::m4aAac, C::rightSilent, "Silent Right Channel"},
                    CompressedCase{F::m4aAac, C::independent, "True Stereo"},
                    CompressedCase{F::m4aAac, C::inverted, "Phase Inverted"},
                    CompressedCase{F::m4aAac, C::sixChannels, "Multichannel (6ch) - Unique"},
                    CompressedCase{F::adtsAac, C::leftSilent, "Silent Left Channel"},
                    CompressedCase{F::adtsAac, C::inverted, "Phase Inverted"}));

}  // namespace
}  // namespace twinfold
