#include "conversion/OutputNaming.h"

#include <gtest/gtest.h>

namespace twinfold {
namespace {

namespace fs = std::filesystem;

const fs::path kFolder = "/music/session";

AppSettings withSuffix(std::string suffix) {
    AppSettings settings;
    settings.namingSuffix = std::move(suffix);
    return settings;
}

struct NameCase {
    std::string source;
    std::string suffix;
    std::string extra;
    std::string expected;
};

class OutputURLTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(OutputURLTest, NamesTheOutputBesideItsSource) {
    const NameCase& c = GetParam();
    EXPECT_EQ(outputURL(kFolder / c.source, withSuffix(c.suffix), c.extra), kFolder / c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, OutputURLTest,
    ::testing::Values(NameCase{"Song.wav", "_mono", "", "Song_mono.wav"},
                      NameCase{"Song.MP3", "_mono", "", "Song_mono.wav"},
                      NameCase{"Song.AIF", "_mono", "", "Song_mono.AIF"},
                      NameCase{"Song.M4A", "_mono", "", "Song_mono.wav"},
                      NameCase{"Song.aac", "_mono", "", "Song_mono.wav"},
                      NameCase{"Pad.wav", "_mono", "_69L", "Pad_mono_69L.wav"},
                      NameCase{"Take.1.wav", "_mono", "", "Take.1_mono.wav"},
                      NameCase{"Song.wav", "", "", "Song.wav"},
                      NameCase{"Odd name (1).Wav", " mono!", "", "Odd name (1) mono!.Wav"},
                      NameCase{"NoExtension", "_mono", "", "NoExtension_mono."}));

TEST(PanSuffixTest, PercentAndLouderSide) {
    EXPECT_EQ(panSuffix(69, ChannelSelection::left), "_69L");
    EXPECT_EQ(panSuffix(100, ChannelSelection::right), "_100R");
    EXPECT_EQ(panSuffix(5, std::nullopt), "_5L");

    ScanResultFields panned;
    panned.isPannedMono = true;
    panned.pannedMonoLouderChannel = ChannelSelection::right;
    panned.pannedMonoPanPercent = 42;
    EXPECT_EQ(panSuffix(ScanResult(panned)), "_42R");
    panned.pannedMonoPanPercent.reset();
    EXPECT_EQ(panSuffix(ScanResult(panned)), "");
}

TEST(SplitOutputURLsTest, LeftAndRightFiles) {
    EXPECT_EQ(splitOutputURLs(kFolder / "Hit.aiff", AppSettings{}),
              (OutputPair{kFolder / "Hit_mono_L.aiff", kFolder / "Hit_mono_R.aiff"}));
    EXPECT_EQ(splitOutputURLs(kFolder / "Hit.mp3", AppSettings{}),
              (OutputPair{kFolder / "Hit_mono_L.wav", kFolder / "Hit_mono_R.wav"}));
}

std::vector<std::string> channelNames(const std::string& source, int channelCount) {
    std::vector<std::string> names;
    for (int i = 0; i < channelCount; ++i) {
        names.push_back(channelFileURL(kFolder / source, AppSettings{}, i, channelCount).filename().string());
    }
    return names;
}

TEST(ChannelFileURLTest, SpeakerLabelsOrNumbers) {
    EXPECT_EQ(channelNames("Film.wav", 6),
              (std::vector<std::string>{"Film_mono_ch1_L.wav", "Film_mono_ch2_R.wav", "Film_mono_ch3_C.wav",
                                        "Film_mono_ch4_LFE.wav", "Film_mono_ch5_Ls.wav", "Film_mono_ch6_Rs.wav"}));
    EXPECT_EQ(channelNames("Quad.wav", 4), (std::vector<std::string>{"Quad_mono_ch1.wav", "Quad_mono_ch2.wav",
                                                                     "Quad_mono_ch3.wav", "Quad_mono_ch4.wav"}));
    EXPECT_EQ(channelNames("Two.wav", 2), (std::vector<std::string>{"Two_mono_ch1_L.wav", "Two_mono_ch2_R.wav"}));
    EXPECT_EQ(channelNames("Wide.aif", 8).back(), "Wide_mono_ch8_Rrs.aif");
    EXPECT_EQ(channelNames("One.m4a", 1), (std::vector<std::string>{"One_mono_ch1_Mono.wav"}));
}

ScanResult splitPair(const std::string& left, const std::string& right, const std::string& combined) {
    ScanResultFields fields;
    fields.fileInfo.url = kFolder / left;
    fields.fileInfo.filename = combined;
    fields.pairedFileURL = kFolder / right;
    return ScanResult(fields);
}

TEST(PairOutputURLTest, CombinedNameWithTheLeftFilesExtension) {
    const ScanResult kick = splitPair("Kick.L.WAV", "Kick.R.WAV", "Kick.wav");
    EXPECT_EQ(pairOutputURL(kick, AppSettings{}), kFolder / "Kick_mono.WAV");
    EXPECT_EQ(pairSplitOutputURLs(kick, AppSettings{}),
              (OutputPair{kFolder / "Kick_mono_L.WAV", kFolder / "Kick_mono_R.WAV"}));

    // A lossy pair keeps its extension for the single (copied) file; the two
    // split outputs are PCM and so .wav files.
    const ScanResult snare = splitPair("Snare.L.mp3", "Snare.R.mp3", "Snare.mp3");
    EXPECT_EQ(pairOutputURL(snare, AppSettings{}), kFolder / "Snare_mono.mp3");
    EXPECT_EQ(pairSplitOutputURLs(snare, withSuffix("")).right, kFolder / "Snare_R.wav");
}

TEST(LossyExtensionsTest, CaseInsensitive) {
    EXPECT_TRUE(isLossyExtension("MP3"));
    EXPECT_TRUE(isLossyExtension("m4a"));
    EXPECT_TRUE(isLossyExtension("Aac"));
    EXPECT_FALSE(isLossyExtension("wav"));
    EXPECT_FALSE(isLossyExtension(""));
}

}  // namespace
}  // namespace twinfold
