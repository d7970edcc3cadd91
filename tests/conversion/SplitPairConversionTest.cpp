#include "conversion/ConverterFixture.h"

#include "support/CompressedFixtures.h"

namespace twinfold::test {
namespace {

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
        ScanResultFields fields;
        fields.fileInfo.path = left;
        fields.fileInfo.filename = name;
        fields.silentChannel = silent;
        fields.pairedFilePath = right;
        return ScanResult(fields);
    }

    static AppSettings normalising(float target = -1.0f) {
        return {.normalizationEnabled = true, .normalizationTargetdBFS = target};
    }
};

// One file: never the silent side, whatever the selection; else the
// selection, left by default. Two files: each side as it is.
TEST_F(SplitPairTest, EachOutputIsAByteCopyOfItsSide) {
    const fs::path output =
        converter.convertSplitPairToMono(pair(SilentChannelStatus::left), ChannelSelection::left, {}, recorder());
    EXPECT_EQ(output, dir / "Kick_mono.wav");
    EXPECT_EQ(fileBytes(output), fileBytes(dir / "Kick.R.wav"));
    for (const auto& [selection, kept] : {std::pair{std::optional(ChannelSelection::right), "Kick.R.wav"},
                                          std::pair{std::optional<ChannelSelection>(), "Kick.L.wav"}}) {
        fs::remove(output);
        converter.convertSplitPairToMono(pair(), selection, AppSettings{});
        EXPECT_EQ(fileBytes(output), fileBytes(dir / kept)) << kept;
    }
    const auto outputs = converter.convertSplitPairToTwo(pair(), AppSettings{}, recorder());
    EXPECT_EQ(outputs, (std::vector<fs::path>{dir / "Kick_mono_L.wav", dir / "Kick_mono_R.wav"}));
    EXPECT_EQ(fileBytes(outputs[0]), fileBytes(dir / "Kick.L.wav"));
    EXPECT_EQ(fileBytes(outputs[1]), fileBytes(dir / "Kick.R.wav"));
}

TEST_F(SplitPairTest, LossyPairsNeverGiveEncodedDataUnderAWavName) {
    for (const std::string side : {"L", "R"}) {
        writeCompressed(dir.path(), "Snare." + side + ".mp3", independentNoise(22050, 1), EncodedFormat::mp3);
    }
    const ScanResult snare = result(dir / "Snare.L.mp3", dir / "Snare.R.mp3", "Snare.mp3");
    // Two files: decoded to 24-bit PCM WAV.
    converter.convertSplitPairToTwo(snare, AppSettings{});
    EXPECT_EQ(soundFormat(dir / "Snare_mono_L.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    EXPECT_EQ(soundFormat(dir / "Snare_mono_R.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_24);
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
