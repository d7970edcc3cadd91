// The values derived from the records: texts, convertibility, savings and
// removable channels.
#include "records/ScanResult.h"

#include "audio_io/AudioFormat.h"

#include <gtest/gtest.h>

namespace twinfold {
namespace {

AudioFileInfo info(std::int64_t size, int channels = 2, std::uint32_t formatID = kFormatLinearPCM) {
    return {.fileSize = size, .sampleRate = 48000, .channelCount = channels, .sourceFormatID = formatID};
}

MultichannelAnalysis analysisOf(int count, std::set<int> silent, std::vector<std::vector<int>> identical) {
    MultichannelAnalysis mc;
    identical.resize(std::size_t(count));
    for (int i = 0; i < count; ++i)
        mc.channels.push_back(
            {.channelIndex = i, .isSilent = silent.count(i) > 0, .identicalToChannels = identical[std::size_t(i)]});
    return mc;
}

ScanResultFields multichannel(std::int64_t size, int count, std::set<int> silent,
                              std::vector<std::vector<int>> identical = {}) {
    return {.fileInfo = info(size, count), .multichannelAnalysis = analysisOf(count, silent, identical)};
}

// Status, convertibility and savings together; where several verdicts are
// set, the status follows a fixed precedence.
TEST(ScanResultTest, StatusConvertibilityAndSavings) {
    using S = SilentChannelStatus;
    const auto right = ChannelSelection::right;
    // the record, its status, whether it converts, its savings
    const std::tuple<ScanResultFields, const char*, bool, std::int64_t> rows[] = {
        {{.fileInfo = info(1001, 1)}, "Already Mono", false, 0},
        {{.fileInfo = info(1001), .isDualMono = true, .silentChannel = S::left}, "Silent Left Channel", true, 500},
        {{.fileInfo = info(1001), .silentChannel = S::right}, "Silent Right Channel", true, 500},
        {{.fileInfo = info(1001), .silentChannel = S::both}, "No Audio Content", false, 0},
        {{.fileInfo = info(1001), .isDualMono = true, .isPhaseInverted = true}, "Phase Inverted", true, 500},
        {{.fileInfo = info(10'000'000), .isDualMono = true}, "Dual Mono", true, 5'000'000},
        {{.fileInfo = info(10'000'000, 2, kFormatMPEGLayer3), .isDualMono = true}, "Dual Mono", true, 0},
        {{.fileInfo = info(1001), .isPannedMono = true, .pannedMonoLouderChannel = right, .pannedMonoPanPercent = 7},
         "Mono Panned 7% R",
         true,
         500},
        {{.fileInfo = info(1001)}, "True Stereo", false, 0},
        {multichannel(6'000'000, 6, {5}, {{}, {2}, {1}}), "Multichannel (6ch) - 1 silent ch, 1 duplicate ch", true,
         2'000'000},
        {multichannel(10, 3, {}), "Multichannel (3ch) - Unique", false, 0},
        // Nothing to keep: converting would write silence or nothing at all.
        {multichannel(6'000'000, 6, {0, 1, 2, 3, 4, 5}), "No Audio Content", false, 0},
        {{.fileInfo = info(1001), .isDualMono = true, .unreadableReason = "Bad format."}, "Unreadable", false, 0},
    };
    for (const auto& [fields, status, convertible, savings] : rows) {
        const ScanResult r(fields);
        EXPECT_EQ(std::tuple(r.statusText(), r.isConvertible(), r.potentialSavings),
                  std::tuple(std::string(status), convertible, savings));
    }
    EXPECT_FALSE(ScanResult({.fileInfo = info(10, 1), .isDualMono = true}).isConvertible());
}

TEST(ChannelAnalysisTest, SilentAndDuplicateChannelsAreRemovedOnceKeepingTheLowest) {
    // Channels 4 and 5 are digital silence and therefore also identical;
    // channel 1 copies channel 0.
    auto mc = analysisOf(6, {4, 5}, {{1}, {0}, {}, {}, {5}, {4}});
    using Groups = std::vector<std::vector<int>>;
    EXPECT_EQ(
        std::tuple(mc.silentChannelIndices(), mc.duplicateGroups(), mc.removableChannelIndices(), mc.summaryText()),
        std::tuple(std::set<int>{4, 5}, Groups{{0, 1}, {4, 5}}, std::set<int>{1, 4, 5},
                   std::string("Multichannel (6ch) - 2 silent ch, 2 duplicate ch")));

    mc = analysisOf(8, {}, {{}, {}, {3, 7}, {2, 7}, {}, {}, {}, {2, 3}});
    EXPECT_EQ(std::tuple(mc.duplicateGroups(), mc.removableChannelIndices(), mc.summaryText()),
              std::tuple(Groups{{2, 3, 7}}, std::set<int>{3, 7}, std::string("Multichannel (8ch) - 2 duplicate ch")));
    EXPECT_EQ(analysisOf(4, {3}, {}).summaryText(), "Multichannel (4ch) - 1 silent ch");
}

// Only a folder of the path counts, and only when its whole name starts so.
TEST(ScanResultTest, BackupFolderAnywhereAboveTheFile) {
    const std::pair<const char*, bool> rows[] = {
        {"/music/Twinfold Backup 2025-03-07 14:05/Take.wav", true},
        {"/music/Twinfold Backup 2025-03-07 14:05/drums/Take.wav", true},
        {"Twinfold Backup 1/Take.wav", true},
        {"/music/Twinfold Backup 1.wav", false},
        {"/music/My Twinfold Backup 1/Take.wav", false},
        {"/music/Twinfold Backup/Take.wav", false},
        {"Take.wav", false},
    };
    for (const auto& [path, inBackup] : rows) {
        ScanResult result;
        result.fileInfo.path = path;
        EXPECT_EQ(result.isInBackupFolder(), inBackup) << path;
    }
}

}  // namespace
}  // namespace twinfold
