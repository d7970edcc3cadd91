#include "records/ScanResult.h"

#include "audio_io/AudioFormat.h"

#include <gtest/gtest.h>

#include <unordered_set>

namespace twinfold {
namespace {

AudioFileInfo stereoInfo(std::int64_t size, std::uint32_t formatID = kFormatLinearPCM, int channels = 2) {
    AudioFileInfo info;
    info.filename = "Take.wav";
    info.fileSize = size;
    info.channelCount = channels;
    info.sourceFormatID = formatID;
    info.sampleRate = 48000;
    return info;
}

ChannelAnalysis channel(int index, bool silent, std::vector<int> identical) {
    ChannelAnalysis c;
    c.channelIndex = index;
    c.isSilent = silent;
    c.identicalToChannels = std::move(identical);
    return c;
}

TEST(ScanResultTest, SavingsHalveLinearPCMButNotCompressedSources) {
    ScanResult pcm({.fileInfo = stereoInfo(10'000'000), .isDualMono = true});
    EXPECT_EQ(pcm.potentialSavings, 5'000'000);
    ScanResult mp3({.fileInfo = stereoInfo(10'000'000, kFormatMPEGLayer3), .isDualMono = true});
    EXPECT_EQ(mp3.potentialSavings, 0);
    ScanResult odd({.fileInfo = stereoInfo(1001), .silentChannel = SilentChannelStatus::left});
    EXPECT_EQ(odd.potentialSavings, 500);
    ScanResult silent({.fileInfo = stereoInfo(1000), .silentChannel = SilentChannelStatus::both});
    EXPECT_EQ(silent.potentialSavings, 0);
    EXPECT_FALSE(silent.isConvertible());
    ScanResult stereo({.fileInfo = stereoInfo(1000)});
    EXPECT_EQ(stereo.potentialSavings, 0);
    EXPECT_FALSE(stereo.isConvertible());
}

TEST(ScanResultTest, MultichannelSavingsCountRemovableChannels) {
    MultichannelAnalysis mc;
    for (int i = 0; i < 6; ++i) mc.channels.push_back(channel(i, i == 5, {}));
    mc.channels[1].identicalToChannels = {2};
    mc.channels[2].identicalToChannels = {1};
    ScanResult r({.fileInfo = stereoInfo(6'000'000, kFormatLinearPCM, 6), .multichannelAnalysis = mc});
    EXPECT_EQ(r.potentialSavings, 2'000'000);
    EXPECT_TRUE(r.isConvertible());
    EXPECT_EQ(r.statusText(), "Multichannel (6ch) - 1 silent ch, 1 duplicate ch");
}

TEST(ScanResultTest, StatusTextFollowsPrecedence) {
    auto status = [](ScanResultFields f) { return ScanResult(std::move(f)).statusText(); };
    EXPECT_EQ(status({.fileInfo = stereoInfo(10, kFormatLinearPCM, 1)}), "Already Mono");
    EXPECT_EQ(status({.fileInfo = stereoInfo(10), .silentChannel = SilentChannelStatus::left}),
              "Silent Left Channel");
    EXPECT_EQ(status({.fileInfo = stereoInfo(10), .silentChannel = SilentChannelStatus::right}),
              "Silent Right Channel");
    EXPECT_EQ(status({.fileInfo = stereoInfo(10), .silentChannel = SilentChannelStatus::both}),
              "No Audio Content");
    EXPECT_EQ(status({.fileInfo = stereoInfo(10), .isPhaseInverted = true}), "Phase Inverted");
    EXPECT_EQ(status({.fileInfo = stereoInfo(10), .isDualMono = true}), "Dual Mono");
    EXPECT_EQ(status({.fileInfo = stereoInfo(10), .isPannedMono = true,
                      .pannedMonoLouderChannel = ChannelSelection::left, .pannedMonoPanPercent = 69}),
              "Mono Panned 69% L");
    EXPECT_EQ(status({.fileInfo = stereoInfo(10), .isPannedMono = true,
                      .pannedMonoLouderChannel = ChannelSelection::right, .pannedMonoPanPercent = 7}),
              "Mono Panned 7% R");
    EXPECT_EQ(status({.fileInfo = stereoInfo(10), .isPannedMono = true}), "Mono Panned 0% L");
    EXPECT_EQ(status({.fileInfo = stereoInfo(10)}), "True Stereo");
}

TEST(ScanResultTest, ConvertibilityNeedsTwoChannelsAndRedundancy) {
    EXPECT_TRUE(ScanResult({.fileInfo = stereoInfo(10), .isPannedMono = true}).isConvertible());
    EXPECT_TRUE(ScanResult({.fileInfo = stereoInfo(10), .isPhaseInverted = true}).isConvertible());
    EXPECT_TRUE(ScanResult({.fileInfo = stereoInfo(10), .silentChannel = SilentChannelStatus::right})
                    .isConvertible());
    EXPECT_FALSE(ScanResult({.fileInfo = stereoInfo(10, kFormatLinearPCM, 1), .isDualMono = true})
                     .isConvertible());
    MultichannelAnalysis unique;
    for (int i = 0; i < 3; ++i) unique.channels.push_back(channel(i, false, {}));
    ScanResult r({.fileInfo = stereoInfo(10, kFormatLinearPCM, 3), .multichannelAnalysis = unique});
    EXPECT_FALSE(r.isConvertible());
    EXPECT_EQ(r.statusText(), "Multichannel (3ch) - Unique");
}

TEST(ScanResultTest, EveryRecordGetsItsOwnIdentity) {
    ScanResultFields fields{.fileInfo = stereoInfo(10), .isDualMono = true};
    ScanResult a(fields), b(fields);
    EXPECT_NE(a.id, b.id);
    EXPECT_NE(a, b);
    ScanResult copy = a;
    EXPECT_EQ(copy, a);
    std::unordered_set<Uuid> ids;
    for (int i = 0; i < 1000; ++i) ids.insert(Uuid::random());
    EXPECT_EQ(ids.size(), 1000u);
    std::string text = a.id.toString();
    EXPECT_EQ(text.size(), 36u);
    EXPECT_EQ(text[14], '4');
}

TEST(ScanResultTest, ChannelSelectionRawValues) {
    EXPECT_EQ(rawValue(ChannelSelection::left), "Left Channel");
    EXPECT_EQ(rawValue(ChannelSelection::right), "Right Channel");
}

}  // namespace
}  // namespace twinfold
