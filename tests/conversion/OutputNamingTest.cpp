#include "conversion/ConversionError.h"
#include "conversion/OutputNaming.h"
#include "support/Thrown.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>

namespace twinfold {
namespace {

namespace fs = std::filesystem;

const fs::path kFolder = "/music/session";

AppSettings withSuffix(std::string suffix) {
    AppSettings settings;
    settings.namingSuffix = std::move(suffix);
    return settings;
}

TEST(OutputURLTest, NamesTheOutputBesideItsSource) {
    // source, suffix, extra, expected
    const std::vector<std::array<std::string, 4>> cases{{"Song.wav", "_mono", "", "Song_mono.wav"},
                                                        {"Song.MP3", "_mono", "", "Song_mono.wav"},
                                                        {"Song.AIF", "_mono", "", "Song_mono.AIF"},
                                                        {"Song.M4A", "_mono", "", "Song_mono.wav"},
                                                        {"Song.aac", "_mono", "", "Song_mono.wav"},
                                                        {"Pad.wav", "_mono", "_69L", "Pad_mono_69L.wav"},
                                                        {"Take.1.wav", "_mono", "", "Take.1_mono.wav"},
                                                        {"Song.wav", "", "", "Song.wav"},
                                                        {"Odd name (1).Wav", " mono!", "", "Odd name (1) mono!.Wav"},
                                                        {"NoExtension", "_mono", "", "NoExtension_mono."}};
    for (const auto& [source, suffix, extra, expected] : cases)
        EXPECT_EQ(outputPath(kFolder / source, withSuffix(suffix), extra), kFolder / expected) << source;
}

// However the suffix got into the settings, it may not lead out of the
// source's folder or cut the name short.
TEST(OutputURLTest, ASuffixWithASeparatorOrNulIsRefusedByEveryName) {
    const ScanResultFields kick{.fileInfo = {.path = kFolder / "Kick.L.wav", .filename = "Kick.wav"},
                                .pairedFilePath = kFolder / "Kick.R.wav"};
    const ScanResult pair(kick);
    const fs::path source = kFolder / "Song.wav";
    using namespace std::string_literals;  // "\0" stays in the string
    for (const std::string& suffix : {"/../../escaped"s, "_mono/"s, "_mo\0no"s}) {
        const AppSettings settings = withSuffix(suffix);
        for (const auto& name : std::vector<std::function<void()>>{
                 [&] { outputPath(source, settings); }, [&] { splitOutputPaths(source, settings); },
                 [&] { channelFilePath(source, settings, 0, 6); }, [&] { pairOutputPath(pair, settings); },
                 [&] { pairSplitOutputPaths(pair, settings); }}) {
            EXPECT_EQ(test::thrownMessage<ConversionError>(name),
                      "The output name suffix must not contain \"/\" or a NUL character")
                << suffix;
        }
    }
    EXPECT_TRUE(isValidNamingSuffix(" mono (1) ..\\"));
}

// The pan in a name says which side was louder; without a pan there is none.
TEST(PanSuffixTest, PercentAndLouderSide) {
    EXPECT_EQ(panSuffix(100, ChannelSelection::right), "_100R");
    EXPECT_EQ(panSuffix(5, std::nullopt), "_5L");
    EXPECT_EQ(panSuffix(ScanResult(ScanResultFields{.isPannedMono = true})), "");
}

// Six-channel speaker labels are checked by the multichannel conversion tests.
TEST(ChannelFileURLTest, SpeakerLabelsOrNumbers) {
    auto name = [](const std::string& source, int channel, int count) {
        return channelFilePath(kFolder / source, AppSettings{}, channel, count).filename().string();
    };
    EXPECT_EQ(name("Quad.wav", 3, 4), "Quad_mono_ch4.wav");
    EXPECT_EQ(name("Two.wav", 1, 2), "Two_mono_ch2_R.wav");
    EXPECT_EQ(name("Five.wav", 4, 5), "Five_mono_ch5.wav");
    EXPECT_EQ(name("Wide.aif", 6, 8), "Wide_mono_ch7_Lrs.aif");
    EXPECT_EQ(name("Wide.aif", 7, 8), "Wide_mono_ch8_Rrs.aif");
    EXPECT_EQ(name("One.m4a", 0, 1), "One_mono_ch1_Mono.wav");
}

}  // namespace
}  // namespace twinfold
