#include "conversion/ConverterFixture.h"

namespace twinfold::test {
namespace {

namespace fs = std::filesystem;
using Case = ConversionError::Case;

class MultichannelTest : public ConverterFixture {
protected:
    // Six channels of different random 24-bit samples.
    fs::path sixChannels(const std::string& name, std::size_t frames, int format = SF_FORMAT_WAV | SF_FORMAT_PCM_24) {
        for (unsigned c = 0; c < 6; ++c) channels.push_back(randomSamples(frames, 24, 100 + c));
        writeSound(dir / name, format, 6, interleave(channels));
        return dir / name;
    }

    std::vector<std::vector<std::int32_t>> channels;
};

TEST_F(MultichannelTest, SplitWritesEachChannelExactlyUnderItsLabel) {
    const fs::path source = sixChannels("Film.wav", 1'500'000);
    const auto outputs = converter.splitAllChannels(source, std::nullopt, AppSettings{}, recorder());
    const std::vector<std::string> labels{"L", "R", "C", "LFE", "Ls", "Rs"};
    ASSERT_EQ(outputs.size(), 6u);
    for (std::size_t c = 0; c < 6; ++c) {
        EXPECT_EQ(outputs[c], dir / ("Film_mono_ch" + std::to_string(c + 1) + "_" + labels[c] + ".wav"));
        const SoundFile result = readSound(outputs[c]);
        EXPECT_EQ(result.format, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
        EXPECT_TRUE(result.samples == channels[c]) << "channel " << c;
    }
    // Full scale: no halving as in the stereo operations.
    expectProgress(progress, {2.0 / 3, 1.0, 1.0});
}

TEST_F(MultichannelTest, SplitOfListedChannelsKeepsListOrder) {
    const fs::path source = sixChannels("Film.aif", 300, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
    const auto outputs = converter.splitAllChannels(source, std::vector<int>{4, 1}, AppSettings{});
    EXPECT_EQ(outputs, (std::vector<fs::path>{dir / "Film_mono_ch5_Ls.aif", dir / "Film_mono_ch2_R.aif"}));
    EXPECT_EQ(readSound(outputs[0]).samples, readSound(source).channel(4));
    EXPECT_EQ(readSound(outputs[0]).format, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
    EXPECT_TRUE(converter.splitAllChannels(source, std::vector<int>{}, AppSettings{}).empty());
}

TEST_F(MultichannelTest, RemovalKeepsTheListedChannelsInOrder) {
    const fs::path source = sixChannels("Film.wav", 1000);
    converter.removeRedundantChannels(source, dir / "Film_mono.wav", {0, 1, 2, 4}, recorder());
    const SoundFile result = readSound(dir / "Film_mono.wav");
    EXPECT_EQ(result.channels, 4);
    EXPECT_EQ(result.format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_24);
    const std::vector<int> kept{0, 1, 2, 4};
    for (int k = 0; k < 4; ++k) EXPECT_TRUE(result.channel(k) == channels[std::size_t(kept[std::size_t(k)])]);
    expectProgress(progress, {1.0, 1.0});

    // Any order the caller gives, even one that is not ascending.
    converter.removeRedundantChannels(source, dir / "Swapped.wav", {5, 3});
    EXPECT_TRUE(readSound(dir / "Swapped.wav").channel(0) == channels[5]);
}

TEST_F(MultichannelTest, OneKeptChannelIsAPlainMonoFile) {
    const fs::path source = sixChannels("Film.wav", 1000);
    converter.removeRedundantChannels(source, dir / "Film_mono.wav", {3});
    const SoundFile result = readSound(dir / "Film_mono.wav");
    EXPECT_EQ(result.format, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    EXPECT_EQ(result.channels, 1);
    EXPECT_TRUE(result.samples == channels[3]);
}

TEST_F(MultichannelTest, BadChannelListsAreRefusedBeforeWriting) {
    const fs::path source = sixChannels("Film.wav", 100);
    for (const std::vector<int>& keep : {std::vector<int>{0, 6}, {-1, 2}, {}}) {
        EXPECT_EQ(failureOf([&] { converter.removeRedundantChannels(source, dir / "out.wav", keep); }),
                  Case::invalidFormat);
    }
    for (const std::vector<int>& listed : {std::vector<int>{0, 6}, {-1}, {2, 2}}) {
        EXPECT_EQ(failureOf([&] { converter.splitAllChannels(source, listed, AppSettings{}); }), Case::invalidFormat);
    }
    EXPECT_EQ(folderListing(dir.path()), std::vector<std::string>{"Film.wav"});
}

TEST_F(MultichannelTest, ATakenChannelNameStopsTheSplitBeforeAnyFileIsMade) {
    const fs::path source = sixChannels("Film.wav", 100);
    std::ofstream(dir / "Film_mono_ch3_C.wav") << "mine";
    try {
        converter.splitAllChannels(source, std::nullopt, AppSettings{});
        FAIL() << "no error";
    } catch (const ConversionError& error) {
        EXPECT_STREQ(error.what(), "Output file already exists: Film_mono_ch3_C.wav");
    }
    EXPECT_EQ(folderListing(dir.path()), (std::vector<std::string>{"Film.wav", "Film_mono_ch3_C.wav"}));
    EXPECT_EQ(failureOf([&] { converter.removeRedundantChannels(source, dir / "Film_mono_ch3_C.wav", {0}); }),
              Case::fileExists);
}

TEST_F(MultichannelTest, CancelDeletesEveryChannelFile) {
    const fs::path source = sixChannels("Film.wav", 1'500'000);
    auto cancel = [&](double) { converter.cancel(); };
    EXPECT_EQ(failureOf([&] { converter.splitAllChannels(source, std::nullopt, AppSettings{}, cancel); }),
              Case::cancelled);
    converter.clearCancelled();
    EXPECT_EQ(failureOf([&] { converter.removeRedundantChannels(source, dir / "out.wav", {0, 1}, cancel); }),
              Case::cancelled);
    EXPECT_EQ(folderListing(dir.path()), std::vector<std::string>{"Film.wav"});
}

}  // namespace
}  // namespace twinfold::test
