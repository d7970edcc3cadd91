// How outputs are named; multichannel files split by channel or reduced to
// the channels worth keeping, and split .L/.R pairs written as one file or two.
#include "conversion/ConverterFixture.h"

#include "conversion/OutputNaming.h"
#include "support/CompressedFixtures.h"

#include <array>

namespace twinfold::test {
namespace {

const fs::path kFolder = "/music/session";

AppSettings withSuffix(std::string suffix) { return {.namingSuffix = std::move(suffix)}; }

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
            EXPECT_EQ(thrownMessage<ConversionError>(name),
                      "The output name suffix must not contain \"/\" or a NUL character")
                << suffix;
        }
    }
    EXPECT_TRUE(isValidNamingSuffix(" mono (1) ..\\"));
}

// The pan in a name says which side was louder; without a pan there is none.
TEST(PanSuffixTest, PercentAndLouderSide) {
    EXPECT_EQ(panSuffix(100, ChannelSelection::right) + panSuffix(5, std::nullopt) + "|" +
                  panSuffix(ScanResult(ScanResultFields{.isPannedMono = true})),
              "_100R_5L|");
}

// Six-channel speaker labels are checked by the multichannel conversion tests.
TEST(ChannelFileURLTest, SpeakerLabelsOrNumbers) {
    const std::tuple<const char*, int, int, const char*> rows[] = {
        {"Quad.wav", 3, 4, "Quad_mono_ch4.wav"},     {"Two.wav", 1, 2, "Two_mono_ch2_R.wav"},
        {"Five.wav", 4, 5, "Five_mono_ch5.wav"},     {"Wide.aif", 6, 8, "Wide_mono_ch7_Lrs.aif"},
        {"Wide.aif", 7, 8, "Wide_mono_ch8_Rrs.aif"}, {"One.m4a", 0, 1, "One_mono_ch1_Mono.wav"}};
    for (const auto& [source, channel, count, expected] : rows)
        EXPECT_EQ(channelFilePath(kFolder / source, AppSettings{}, channel, count).filename(), expected);
}

// ---- multichannel files ---------------------------------------------------------

class MultichannelTest : public ConverterFixture {
protected:
    // Six channels of different random 24-bit samples.
    fs::path sixChannels(const std::string& name, std::size_t frames, PcmContainer container = PcmContainer::wav) {
        writePcm(dir / name, {container, PcmEncoding::int24}, multichannel({}, frames, PcmEncoding::int24, 100));
        return dir / name;
    }

    // `output` holds `channels` of `source` exactly, in that order, as 24-bit PCM of the source's container.
    static void expectCopy(const fs::path& output, const fs::path& source, const std::vector<int>& channels) {
        EXPECT_EQ(soundFormat(output), (soundFormat(source) & SF_FORMAT_TYPEMASK) | SF_FORMAT_PCM_24) << output;
        const auto written = readStoredInts(output), read = readStoredInts(source);
        ASSERT_EQ(written.size(), channels.size()) << output;
        for (std::size_t k = 0; k < channels.size(); ++k)
            EXPECT_TRUE(written[k] == read[std::size_t(channels[k])]) << output << " channel " << k;
    }
};

TEST_F(MultichannelTest, SplitWritesEachChannelExactlyUnderItsLabelInTheListsOrder) {
    const fs::path film = sixChannels("Film.wav", 1'500'000), aif = sixChannels("Film.aif", 300, PcmContainer::aiff);
    const auto outputs = converter.splitAllChannels(film, std::nullopt, AppSettings{});
    const std::vector<std::string> labels{"L", "R", "C", "LFE", "Ls", "Rs"};
    ASSERT_EQ(outputs.size(), 6u);
    for (int c = 0; c < 6; ++c) {
        EXPECT_EQ(outputs[std::size_t(c)],
                  dir / numbered("Film_mono_ch", c + 1, "_" + labels[std::size_t(c)] + ".wav"));
        expectCopy(outputs[std::size_t(c)], film, {c});
    }
    const auto listed = converter.splitAllChannels(aif, std::vector<int>{4, 1}, AppSettings{});
    EXPECT_EQ(listed, (std::vector<fs::path>{dir / "Film_mono_ch5_Ls.aif", dir / "Film_mono_ch2_R.aif"}));
    expectCopy(listed[0], aif, {4});
    EXPECT_TRUE(converter.splitAllChannels(aif, std::vector<int>{}, AppSettings{}).empty());
}

// Any order the caller gives, even one that is not ascending; one kept
// channel is a plain mono file.
TEST_F(MultichannelTest, RemovalKeepsTheListedChannelsInOrder) {
    const fs::path source = sixChannels("Film.wav", 1000);
    for (const std::vector<int>& keep : {std::vector<int>{0, 1, 2, 4}, {5, 3}, {3}}) {
        const fs::path output = dir / numbered("Kept", long(keep.size()), ".wav");
        converter.removeRedundantChannels(source, output, keep);
        expectCopy(output, source, keep);
    }
}

// A channel beyond full scale makes every output of an operation that copies
// it float, sample for sample; an operation whose channels stay within full
// scale keeps the integer mapping.
TEST_F(MultichannelTest, FloatChannelsBeyondFullScaleStayFloat) {
    Channels signals = multichannel({4}, 3000, PcmEncoding::float32, 5);
    signals[2] = scaled(signals[2], 3.0, PcmEncoding::float32);  // peaks near +3.5 dBFS
    writePcm(dir / "Quad.wav", {PcmContainer::wav, PcmEncoding::float32}, signals);
    const auto outputs = converter.splitAllChannels(dir / "Quad.wav", std::vector<int>{2, 0}, AppSettings{});
    converter.removeRedundantChannels(dir / "Quad.wav", dir / "Loud.wav", {3, 2});
    converter.removeRedundantChannels(dir / "Quad.wav", dir / "Within.wav", {0, 1});

    for (const auto& [output, kept] :
         {std::pair{outputs[0], std::vector<int>{2}}, {outputs[1], {0}}, {dir / "Loud.wav", {3, 2}}}) {
        EXPECT_EQ(soundFormat(output), SF_FORMAT_WAV | SF_FORMAT_FLOAT) << output;
        const auto written = readDoubles(output);
        ASSERT_EQ(written.size(), kept.size());
        for (std::size_t k = 0; k < kept.size(); ++k) EXPECT_TRUE(written[k] == signals[std::size_t(kept[k])]) << k;
    }
    EXPECT_EQ(soundFormat(dir / "Within.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_32);
}

// Bad channel lists and taken names: nothing is written, even for a split
// whose first outputs are free.
TEST_F(MultichannelTest, RefusalsComeBeforeAnyFileIsMade) {
    const fs::path source = sixChannels("Film.wav", 100), taken = dir / "Film_mono_ch3_C.wav";
    std::ofstream(taken) << "mine";
    for (const std::vector<int>& keep : {std::vector<int>{0, 6}, {-1, 2}, {}})
        EXPECT_EQ(failureOf([&] { converter.removeRedundantChannels(source, dir / "out.wav", keep); }),
                  Case::invalidFormat);
    for (const std::vector<int>& listed : {std::vector<int>{0, 6}, {-1}, {2, 2}})
        EXPECT_EQ(failureOf([&] { converter.splitAllChannels(source, listed, AppSettings{}); }), Case::invalidFormat);
    EXPECT_EQ(failureOf([&] { converter.splitAllChannels(source, std::nullopt, AppSettings{}); }), Case::fileExists);
    EXPECT_EQ(failureOf([&] { converter.removeRedundantChannels(source, taken, {0}); }), Case::fileExists);
    EXPECT_EQ(folderListing(dir.path()), (std::vector<std::string>{"Film.wav", "Film_mono_ch3_C.wav"}));
}

// ---- split .L/.R pairs --------------------------------------------------------

class SplitPairTest : public ConverterFixture {
protected:
    // Kick.L.wav / Kick.R.wav: 24-bit mono files of different noise.
    ScanResult pair(SilentChannelStatus silent = SilentChannelStatus::none) {
        const bool leftSilent = silent == SilentChannelStatus::left;
        const SplitPair files = writeSplitPair(dir.path(), "Kick", ".wav", {PcmContainer::wav, PcmEncoding::int24},
                                               leftSilent ? silence(1000) : noise(1000, PcmEncoding::int24, 1),
                                               noise(1000, PcmEncoding::int24, 2, 0.25));
        return result(files.left, files.right, "Kick.wav", silent);
    }

    static ScanResult result(const fs::path& left, const fs::path& right, const std::string& name,
                             SilentChannelStatus silent = SilentChannelStatus::none) {
        return ScanResult(
            {.fileInfo = {.path = left, .filename = name}, .silentChannel = silent, .pairedFilePath = right});
    }

    static AppSettings normalising(float target = -1.0f) {
        return {.normalizationEnabled = true, .normalizationTargetdBFS = target};
    }
};

// One file: never the silent side, whatever the selection; else the
// selection, left by default. Two files: each side as it is.
TEST_F(SplitPairTest, EachOutputIsAByteCopyOfItsSide) {
    const fs::path output =
        converter.convertSplitPairToMono(pair(SilentChannelStatus::left), ChannelSelection::left, {});
    EXPECT_TRUE(output == dir / "Kick_mono.wav" && fileBytes(output) == fileBytes(dir / "Kick.R.wav"));
    for (const auto& [selection, kept] : {std::pair{std::optional(ChannelSelection::right), "Kick.R.wav"},
                                          std::pair{std::optional<ChannelSelection>(), "Kick.L.wav"}}) {
        fs::remove(output);
        converter.convertSplitPairToMono(pair(), selection, AppSettings{});
        EXPECT_EQ(fileBytes(output), fileBytes(dir / kept)) << kept;
    }
    const auto outputs = converter.convertSplitPairToTwo(pair(), AppSettings{});
    EXPECT_EQ(outputs, (std::vector<fs::path>{dir / "Kick_mono_L.wav", dir / "Kick_mono_R.wav"}));
    EXPECT_TRUE(fileBytes(outputs[0]) == fileBytes(dir / "Kick.L.wav") &&
                fileBytes(outputs[1]) == fileBytes(dir / "Kick.R.wav"));
}

TEST_F(SplitPairTest, LossyPairsNeverGiveEncodedDataUnderAWavName) {
    for (const std::string side : {"L", "R"})
        writeCompressed(dir.path(), "Snare." + side + ".mp3", independentNoise(22050, 1), EncodedFormat::mp3);
    const ScanResult snare = result(dir / "Snare.L.mp3", dir / "Snare.R.mp3", "Snare.mp3");
    // Two files: decoded to 24-bit PCM WAV.
    converter.convertSplitPairToTwo(snare, AppSettings{});
    for (const char* side : {"L", "R"})
        EXPECT_EQ(soundFormat(dir / ("Snare_mono_" + std::string(side) + ".wav")), SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    // One file without normalisation: the MP3 itself, under its own extension.
    EXPECT_EQ(converter.convertSplitPairToMono(snare, std::nullopt, AppSettings{}), dir / "Snare_mono.mp3");
    EXPECT_EQ(fileBytes(dir / "Snare_mono.mp3"), fileBytes(dir / "Snare.L.mp3"));
    // One normalised file: PCM, so a .wav file.
    fs::remove(dir / "Snare_mono.mp3");
    EXPECT_EQ(converter.convertSplitPairToMono(snare, std::nullopt, normalising()), dir / "Snare_mono.wav");
    EXPECT_EQ(soundFormat(dir / "Snare_mono.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_24);
}

TEST_F(SplitPairTest, RefusalsLeaveNothingBehind) {
    const ScanResult kick = pair();
    ScanResultFields unpaired = kick;
    unpaired.pairedFilePath.reset();
    EXPECT_EQ(failureOf([&] { converter.convertSplitPairToMono(ScanResult(unpaired), {}, AppSettings{}); }),
              Case::invalidFormat);
    EXPECT_EQ(failureOf([&] { converter.convertSplitPairToTwo(ScanResult(unpaired), AppSettings{}); }),
              Case::invalidFormat);

    std::ofstream(dir / "Kick_mono_R.wav") << "mine";
    EXPECT_EQ(failureOf([&] { converter.convertSplitPairToTwo(kick, AppSettings{}); }), Case::fileExists);
    EXPECT_EQ(fileBytes(dir / "Kick_mono_R.wav"), Bytes({'m', 'i', 'n', 'e'}));

    converter.cancel();
    EXPECT_EQ(failureOf([&] { converter.convertSplitPairToMono(kick, {}, AppSettings{}); }), Case::cancelled);
    EXPECT_EQ(folderListing(dir.path()), (std::vector<std::string>{"Kick.L.wav", "Kick.R.wav", "Kick_mono_R.wav"}));
}

TEST_F(SplitPairTest, CancelDuringTheSecondSideRemovesTheFirstToo) {
    const ScanResult kick = pair();
    auto cancelLate = [&](double fraction) {
        if (fraction > 0.5) converter.cancel();
    };
    EXPECT_EQ(failureOf([&] { converter.convertSplitPairToTwo(kick, normalising(), cancelLate); }), Case::cancelled);
    EXPECT_EQ(folderListing(dir.path()), (std::vector<std::string>{"Kick.L.wav", "Kick.R.wav"}));
}

}  // namespace
}  // namespace twinfold::test
