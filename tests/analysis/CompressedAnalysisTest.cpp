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

FloatChannels channelsFor(Content content) {
    constexpr std::size_t frames = 44100;
    if (content == Content::leftSilent || content == Content::rightSilent)
        return oneSideSilent(frames, content == Content::leftSilent ? 0 : 1);
    if (content == Content::independent || content == Content::sixChannels)
        return independentNoise(frames, content == Content::independent ? 2 : 6);
    FloatChannels c = dualMono(frames);
    for (float& x : c[1]) x *= content == Content::inverted ? -1.0f : content == Content::panned ? 0.5f : 1.0f;
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
