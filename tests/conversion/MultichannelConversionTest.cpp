#include "conversion/ConverterFixture.h"

#include "support/FileTree.h"

#include <functional>
#include <tuple>

namespace twinfold::test {
namespace {

namespace fs = std::filesystem;
using Case = ConversionError::Case;

class MultichannelTest : public ConverterFixture {
protected:
    // Six channels of different random 24-bit samples.
    fs::path sixChannels(const std::string& name, std::size_t frames, PcmContainer container = PcmContainer::wav) {
        writePcm(dir / name, {container, PcmEncoding::int24}, multichannel({}, frames, PcmEncoding::int24, 100));
        return dir / name;
    }
};

// Splits name each output by its channel's label; any order the caller gives
// is kept, even one that is not ascending; one kept channel is a plain mono file.
TEST_F(MultichannelTest, EachOutputHoldsItsChannelsExactlyInTheOrderGiven) {
    const fs::path film = sixChannels("Film.wav", 1'500'000), aif = sixChannels("Film.aif", 300, PcmContainer::aiff),
                   short6 = sixChannels("Short.wav", 1000);
    const auto removing = [&](std::vector<int> keep) {
        return [this, keep, &short6] {
            const fs::path output = dir / numbered("Kept", long(keep.size()), ".wav");
            converter.removeRedundantChannels(short6, output, keep, recorder());
            return std::vector{output};
        };
    };
    using Outputs = std::vector<std::pair<std::string, std::vector<int>>>;  // name, source channels
    const std::vector<std::tuple<fs::path, std::function<std::vector<fs::path>()>, Outputs>> rows{
        {film,
         [&] { return converter.splitAllChannels(film, std::nullopt, AppSettings{}, recorder()); },
         {{"Film_mono_ch1_L.wav", {0}},
          {"Film_mono_ch2_R.wav", {1}},
          {"Film_mono_ch3_C.wav", {2}},
          {"Film_mono_ch4_LFE.wav", {3}},
          {"Film_mono_ch5_Ls.wav", {4}},
          {"Film_mono_ch6_Rs.wav", {5}}}},
        {aif,
         [&] {
             return converter.splitAllChannels(aif, std::vector<int>{4, 1}, AppSettings{});
         },
         {{"Film_mono_ch5_Ls.aif", {4}}, {"Film_mono_ch2_R.aif", {1}}}},
        {short6, removing({0, 1, 2, 4}), {{"Kept4.wav", {0, 1, 2, 4}}}},
        {short6, removing({5, 3}), {{"Kept2.wav", {5, 3}}}},
        {short6, removing({3}), {{"Kept1.wav", {3}}}},
    };
    for (const auto& [source, convert, expected] : rows) {
        const auto sourceSamples = readStoredInts(source);
        const std::vector<fs::path> outputs = convert();
        ASSERT_EQ(outputs.size(), expected.size());
        for (std::size_t k = 0; k < outputs.size(); ++k) {
            const auto& [name, keep] = expected[k];
            SCOPED_TRACE(name);
            EXPECT_EQ(outputs[k], dir / name);
            const int container = source.extension() == ".aif" ? SF_FORMAT_AIFF : SF_FORMAT_WAV;
            EXPECT_EQ(soundFormat(outputs[k]), container | SF_FORMAT_PCM_24);
            const auto written = readStoredInts(outputs[k]);
            ASSERT_EQ(written.size(), keep.size());
            for (std::size_t c = 0; c < keep.size(); ++c)
                EXPECT_TRUE(written[c] == sourceSamples[std::size_t(keep[c])]);
        }
    }
    EXPECT_TRUE(converter.splitAllChannels(aif, std::vector<int>{}, AppSettings{}).empty());
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
    EXPECT_GT(std::ranges::max(readDoubles(dir / "Loud.wav")[1]), 1.2);
    EXPECT_EQ(soundFormat(dir / "Within.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_32);
}

// Bad channel lists and taken names: nothing is written, even for a split
// whose first outputs are free.
TEST_F(MultichannelTest, RefusalsComeBeforeAnyFileIsMade) {
    const fs::path source = sixChannels("Film.wav", 100), taken = dir / "Film_mono_ch3_C.wav";
    std::ofstream(taken) << "mine";
    for (const std::vector<int>& keep : {std::vector<int>{0, 6}, {-1, 2}, {}}) {
        EXPECT_EQ(failureOf([&] { converter.removeRedundantChannels(source, dir / "out.wav", keep); }),
                  Case::invalidFormat);
    }
    for (const std::vector<int>& listed : {std::vector<int>{0, 6}, {-1}, {2, 2}}) {
        EXPECT_EQ(failureOf([&] { converter.splitAllChannels(source, listed, AppSettings{}); }), Case::invalidFormat);
    }
    EXPECT_EQ(failureOf([&] { converter.splitAllChannels(source, std::nullopt, AppSettings{}); }), Case::fileExists);
    EXPECT_EQ(failureOf([&] { converter.removeRedundantChannels(source, taken, {0}); }), Case::fileExists);
    EXPECT_EQ(folderListing(dir.path()), (std::vector<std::string>{"Film.wav", "Film_mono_ch3_C.wav"}));
}

TEST_F(MultichannelTest, CancelDeletesEveryChannelFile) {
    const fs::path source = sixChannels("Film.wav", 1'500'000);
    auto cancel = [&](double) { converter.cancel(); };
    EXPECT_EQ(failureOf([&] { converter.splitAllChannels(source, std::nullopt, AppSettings{}, cancel); }),
              Case::cancelled);
    converter.clearCancelled();
    EXPECT_EQ(failureOf([&] {
                  converter.removeRedundantChannels(source, dir / "out.wav", {0, 1}, cancel);
              }),
              Case::cancelled);
    EXPECT_EQ(folderListing(dir.path()), std::vector<std::string>{"Film.wav"});
}

}  // namespace
}  // namespace twinfold::test
