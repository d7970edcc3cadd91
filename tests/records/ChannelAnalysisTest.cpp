#include "records/ChannelAnalysis.h"

#include <gtest/gtest.h>

#include <limits>

namespace twinfold {
namespace {

MultichannelAnalysis analysisOf(int count, std::set<int> silent, std::vector<std::vector<int>> identical) {
    MultichannelAnalysis mc;
    for (int i = 0; i < count; ++i) {
        ChannelAnalysis c;
        c.channelIndex = i;
        c.channelLabel = labelForChannel(i, count);
        c.isSilent = silent.count(i) > 0;
        c.identicalToChannels = identical.size() > std::size_t(i) ? identical[i] : std::vector<int>{};
        mc.channels.push_back(c);
    }
    return mc;
}

TEST(ChannelAnalysisTest, LabelsByChannelCount) {
    EXPECT_EQ(labelForChannel(0, 1), "Mono");
    EXPECT_EQ(labelForChannel(0, 2), "L");
    EXPECT_EQ(labelForChannel(1, 2), "R");
    EXPECT_EQ(labelForChannel(5, 2), "R");
    const char* six[] = {"L", "R", "C", "LFE", "Ls", "Rs"};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(labelForChannel(i, 6), six[i]);
    EXPECT_EQ(labelForChannel(6, 8), "Lrs");
    EXPECT_EQ(labelForChannel(7, 8), "Rrs");
    for (int i = 0; i < 5; ++i) EXPECT_EQ(labelForChannel(i, 5), std::to_string(i + 1));
    EXPECT_EQ(labelForChannel(2, 3), "3");
}

TEST(ChannelAnalysisTest, SilentDuplicatesAreRemovedOnce) {
    // Channels 4 and 5 are digital silence and therefore also identical;
    // channel 1 copies channel 0.
    auto mc = analysisOf(6, {4, 5}, {{1}, {0}, {}, {}, {5}, {4}});
    EXPECT_EQ(mc.silentChannelIndices(), (std::set<int>{4, 5}));
    EXPECT_EQ(mc.duplicateGroups(), (std::vector<std::vector<int>>{{0, 1}, {4, 5}}));
    EXPECT_EQ(mc.removableChannelIndices(), (std::set<int>{1, 4, 5}));
    EXPECT_EQ(mc.summaryText(), "Multichannel (6ch) - 2 silent ch, 2 duplicate ch");
}

TEST(ChannelAnalysisTest, ThreeWayGroupKeepsItsLowestChannel) {
    auto mc = analysisOf(8, {}, {{}, {}, {3, 7}, {2, 7}, {}, {}, {}, {2, 3}});
    EXPECT_EQ(mc.duplicateGroups(), (std::vector<std::vector<int>>{{2, 3, 7}}));
    EXPECT_EQ(mc.removableChannelIndices(), (std::set<int>{3, 7}));
    EXPECT_EQ(mc.summaryText(), "Multichannel (8ch) - 2 duplicate ch");
    auto silentOnly = analysisOf(4, {3}, {});
    EXPECT_EQ(silentOnly.summaryText(), "Multichannel (4ch) - 1 silent ch");
}

TEST(ChannelAnalysisTest, PeakText) {
    ChannelAnalysis c;
    c.peakdBFS = -6.0f;
    EXPECT_EQ(c.peakText(), "-6.0 dBFS");
    c.peakdBFS = -0.04f;
    EXPECT_EQ(c.peakText(), "-0.0 dBFS");
    c.peakdBFS = -120.5f;
    EXPECT_EQ(c.peakText(), "-inf dB");
    c.peakdBFS = -std::numeric_limits<float>::infinity();
    EXPECT_EQ(c.peakText(), "-inf dB");
    c.peakdBFS = -100.0f;
    c.isSilent = true;  // below a -96 dBFS threshold: the verdict wins over the level
    EXPECT_EQ(c.peakText(), "Silent");
}

}  // namespace
}  // namespace twinfold
