#include "presentation/PresentationTexts.h"
#include "records/SourceFormat.h"

#include <gtest/gtest.h>

namespace twinfold::test {
namespace {

struct ByteCase {
    std::int64_t bytes;
    const char* decimalPoint;
    const char* text;
};

class ByteCountTest : public ::testing::TestWithParam<ByteCase> {};

// Decimal units, one fraction digit, the unit stepping up at each thousand.
TEST_P(ByteCountTest, ReadsLikeAFileManager) {
    const ByteCase& c = GetParam();
    EXPECT_EQ(presentation::byteCountText(c.bytes, c.decimalPoint), c.text);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ByteCountTest,
                         ::testing::Values(ByteCase{0, ".", "0 bytes"}, ByteCase{999, ".", "999 bytes"},
                                           ByteCase{1000, ".", "1.0 kB"}, ByteCase{3'640'000, ".", "3.6 MB"},
                                           ByteCase{3'640'000, ",", "3,6 MB"}, ByteCase{-2'250'000'000, ".", "-2.2 GB"},
                                           ByteCase{999'999, ".", "1000.0 kB"}));

TEST(PresentationTextsTest, PatternsTakeTheirFiguresInPlace) {
    AudioFileInfo pcm;
    pcm.channelCount = 2;
    pcm.bitDepth = 24;
    pcm.sourceFormatID = kFormatLinearPCM;
    AudioFileInfo coded = pcm;
    coded.sourceFormatID = kFormatLinearPCM + 1;
    ChannelAnalysis duplicate;
    duplicate.channelIndex = 3;
    duplicate.identicalToChannels = {0, 2};
    const std::pair<presentation::Text, const char*> cases[] = {
        {presentation::channelsText(pcm), "2ch"},
        {presentation::bitDepthText(pcm), "24-bit"},
        {presentation::bitDepthText(coded), "Compressed"},
        {presentation::channelNumberText(duplicate), "Ch 4"},
        {presentation::channelPillText(duplicate), "Dup of 1,3"},
    };
    for (const auto& [text, english] : cases) EXPECT_EQ(text.english(), english) << text.pattern;
}

}  // namespace
}  // namespace twinfold::test
