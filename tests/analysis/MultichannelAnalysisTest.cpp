#include "analysis/AudioAnalyzerService.h"
#include "support/PcmFixtures.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace twinfold {
namespace {

using namespace test;
const float minus96dBFS = std::pow(10.0f, -96.0f / 20.0f);

MultichannelAnalysis analyze(const TempDir& dir, const Channels& channels, PcmEncoding encoding,
                             std::uint32_t chunkSize = 1000) {
    const auto path = dir / "multi.wav";
    writePcm(path, {PcmContainer::wav, encoding}, channels);
    const ScanResult r = AudioAnalyzerService(minus96dBFS, chunkSize).analyzeFile(path);
    EXPECT_FALSE(r.isDualMono || r.isPannedMono || r.isPhaseInverted);
    EXPECT_EQ(r.silentChannel, SilentChannelStatus::none);
    return r.multichannelAnalysis.value();
}

std::vector<std::vector<int>> identityLists(const MultichannelAnalysis& a) {
    std::vector<std::vector<int>> lists;
    for (const ChannelAnalysis& c : a.channels) lists.push_back(c.identicalToChannels);
    return lists;
}

TEST(MultichannelAnalysisTest, SilentAndDuplicateChannelsOfASixChannelFile) {
    TempDir dir;
    const Channels channels = multichannel({6, {{0, 1}}, {4, 5}}, 3500, PcmEncoding::int24);
    for (std::uint32_t chunkSize : {1000u, AudioAnalyzerService::defaultChunkSize}) {
        const MultichannelAnalysis a = analyze(dir, channels, PcmEncoding::int24, chunkSize);
        EXPECT_EQ(identityLists(a), (std::vector<std::vector<int>>{{1}, {0}, {}, {}, {5}, {4}}));
        EXPECT_EQ(a.summaryText(), "Multichannel (6ch) - 2 silent ch, 2 duplicate ch");
        const char* labels[] = {"L", "R", "C", "LFE", "Ls", "Rs"};
        for (int c = 0; c < 6; ++c) {
            const ChannelAnalysis& ch = a.channels[std::size_t(c)];
            EXPECT_EQ(ch.channelIndex, c);
            EXPECT_EQ(ch.channelLabel, labels[c]);
            double peak = 0;
            for (double x : channels[std::size_t(c)]) peak = std::max(peak, std::fabs(x));
            const float expected = peak > 0 ? 20.0f * std::log10(float(peak)) : -INFINITY;
            EXPECT_EQ(ch.peakdBFS, expected) << "channel " << c;
            EXPECT_EQ(ch.isSilent, c >= 4);
        }
    }
}

TEST(MultichannelAnalysisTest, OneSampleDifferentInTheLastChunkBreaksIdentity) {
    TempDir dir;
    Channels channels = multichannel({3, {{0, 2}}, {}}, 2500, PcmEncoding::int16);
    channels[2][2400] += 1.0 / 32768;
    const MultichannelAnalysis a = analyze(dir, channels, PcmEncoding::int16);
    EXPECT_EQ(identityLists(a), (std::vector<std::vector<int>>{{}, {}, {}}));
    EXPECT_EQ(a.channels[2].channelLabel, "3");
}

TEST(MultichannelAnalysisTest, QuietChannelBelowTheThresholdIsSilent) {
    TempDir dir;
    Channels channels = multichannel({3, {}, {}}, 2000, PcmEncoding::float32);
    channels[1] = silence(2000);
    channels[1][700] = std::pow(10.0f, -100.0f / 20.0f);
    const ChannelAnalysis quiet = analyze(dir, channels, PcmEncoding::float32).channels[1];
    EXPECT_TRUE(quiet.isSilent);
    EXPECT_NEAR(quiet.peakdBFS, -100.0f, 1e-4);
    EXPECT_EQ(quiet.peakText(), "Silent");
}

TEST(MultichannelAnalysisTest, EmptyFileHasOnlySilentIdenticalChannels) {
    TempDir dir;
    const MultichannelAnalysis a = analyze(dir, Channels(4), PcmEncoding::int16);
    EXPECT_EQ(identityLists(a), (std::vector<std::vector<int>>{{1, 2, 3}, {0, 2, 3}, {0, 1, 3}, {0, 1, 2}}));
    for (const ChannelAnalysis& c : a.channels) {
        EXPECT_TRUE(c.isSilent);
        EXPECT_EQ(c.peakdBFS, -INFINITY);
    }
}

}  // namespace
}  // namespace twinfold
