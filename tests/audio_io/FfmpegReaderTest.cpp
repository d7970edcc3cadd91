#include "AudioIoTestSupport.h"
#include "audio_io/FfmpegReader.h"

#include <iterator>
#include <random>
#include <sys/resource.h>
#include <tuple>

namespace twinfold::test {
namespace {

struct FormatCase {
    EncodedFormat format;
    std::uint32_t formatID;
    CommonFormat commonFormat;
    int bitsPerChannel;
    bool gapless;  // the container declares delay and padding, so the length is the input's
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << extensionFor(c.format) << ' ' << fourCCText(c.formatID); }

const FormatCase kFormats[] = {
    {EncodedFormat::mp3, kFormatMPEGLayer3, CommonFormat::other, 0, true},
    {EncodedFormat::m4aAac, kFormatMPEG4AAC, CommonFormat::other, 0, true},
    {EncodedFormat::m4aAlac, kFormatAppleLossless, CommonFormat::int16, 16, true},
    {EncodedFormat::adtsAac, kFormatMPEG4AAC, CommonFormat::other, 0, false},
};

class FfmpegFormatTest : public testing::TestWithParam<FormatCase> {
protected:
    std::filesystem::path write(const FloatChannels& channels, const std::string& stem = "a", int rate = 44100) {
        return writeCompressed(dir.path(), stem + extensionFor(GetParam().format), channels, GetParam().format, rate);
    }
    TempDir dir;
};

// Encoder delay and padding are trimmed where the container declares them,
// so a track keeps its exact length (what makes gapless playback work).
// Lengths just past a whole MP3 frame are where the padding spans two
// frames; mono at 22.05 kHz is MPEG-2 audio with half-size frames, and a
// raw AAC file of a frame or two.
TEST_P(FfmpegFormatTest, DeclaredDelayAndPaddingAreTrimmed) {
    struct Shape {
        int channels;
        int rate;
        std::vector<std::size_t> lengths;
    };
    // FFmpeg 5.1's decoder forgets the rest of the start trim when the second
    // packet already carries end padding, so MPEG-2 files of under 47 frames
    // decode too long; they are left out here.
    const Shape shapes[] = {{2, 44100, {1, 46, 577, 1151, 1153, 2350, 4096, 44'677}},
                            {1, 22050, {47, 577, 1151, 1153, 2350, 4096, 44'677}}};
    for (const Shape& shape : shapes) {
        for (std::size_t frames : shape.lengths) {
            const auto name = std::to_string(shape.rate) + "-" + std::to_string(frames);
            const FloatChannels input = independentNoise(frames, shape.channels);
            auto reader = openFfmpegFile(write(input, name, shape.rate));
            ASSERT_EQ(reader->channelCount(), shape.channels);
            const std::int64_t length = reader->length();
            EXPECT_TRUE(GetParam().gapless ? length == std::int64_t(frames) : length >= std::int64_t(frames)) << name;
            const FloatChannels decoded = readToEnd(*reader, 1000);
            EXPECT_EQ(std::int64_t(decoded[0].size()), length) << name;
            if (GetParam().format == EncodedFormat::m4aAlac) {
                EXPECT_EQ(decoded, input) << name;  // lossless
            }
        }
    }
}

// Seeks land on the samples of a sequential read: forward, back into the
// frame just decoded, backward, to the last frame and past the end. With
// garbage over the middle of the file the decoder drops what it cannot
// decode, the same way on every pass, so the length and seeking stay exact.
TEST_P(FfmpegFormatTest, ReportsItsFormatAndSeeksToTheSamplesOfASequentialReadAlsoWhenDamaged) {
    const auto path = write(independentNoise(60'000, 2), "a", 48000);
    auto reader = openFfmpegFile(path);
    const AudioFormatInfo& f = reader->fileFormat();
    EXPECT_EQ(
        std::tuple(f.sampleRate, f.channelCount, fourCCText(f.formatID), f.commonFormat, f.bitsPerChannel, f.isFloat),
        std::tuple(48000.0, 2, fourCCText(GetParam().formatID), GetParam().commonFormat, GetParam().bitsPerChannel,
                   false));
    FloatChannels whole = readToEnd(*reader, 1'000'000);
    std::int64_t length = reader->length();
    expectSeeksMatch(*reader, whole, {25'000, 27'999, 1, 0, 1152, 1151, 40'000, 3000, length - 1, length, length + 7});

    std::string bytes = fileText(path);
    std::mt19937 random(9);
    for (std::size_t i = 0; i < std::min<std::size_t>(bytes.size() / 4, 1500); ++i)
        bytes[bytes.size() / 2 + i] = char(random());
    writeFile(path, bytes);
    reader = openFfmpegFile(path);
    whole = readToEnd(*reader, 1000);
    length = reader->length();
    ASSERT_EQ(std::int64_t(whole[0].size()), length);
    EXPECT_GT(length, 20'000);
    expectSeeksMatch(*reader, whole, {length / 2, length / 3, 0});
}

INSTANTIATE_TEST_SUITE_P(Ffmpeg, FfmpegFormatTest, testing::ValuesIn(kFormats));

// Channels come out in the order they went in: the silent ones stay where
// they were.
TEST(FfmpegReaderTest, MultichannelKeepsChannelOrder) {
    TempDir dir;
    FloatChannels input = independentNoise(20'000, 6);
    input[1].assign(input[1].size(), 0.0f);
    input[4].assign(input[4].size(), 0.0f);
    for (EncodedFormat format : {EncodedFormat::m4aAac, EncodedFormat::m4aAlac}) {
        const auto path = writeCompressed(dir.path(), std::to_string(int(format)) + ".m4a", input, format);
        auto reader = openFfmpegFile(path);
        ASSERT_EQ(reader->channelCount(), 6);
        const FloatChannels decoded = readToEnd(*reader, 4096);
        for (std::size_t c = 0; c < 6; ++c)
            EXPECT_EQ(decoded[c] == std::vector<float>(20'000), c == 1 || c == 4) << int(format) << " channel " << c;
    }
}

// A WAV of a few dozen bytes whose INFO entry declares 1.8 GB: FFmpeg would
// allocate (and clear) that much before finding the bytes missing.
TEST(FfmpegBadInputTest, ADeclaredLengthNeverBecomesAHugeAllocation) {
    TempDir dir;
    std::string fmt("fmt \x10\0\0\0\x01\0\x02\0\x80\xBB\0\0\0\xEE\x02\0\x04\0\x10\0", 24);
    std::string list(
        "LIST\xF0\xFF\xFF\x7F"
        "INFOISFT\0\0\0\x70"
        "Lavf",
        24);
    writeFile(dir / "info.wav", std::string("RIFF\x3C\0\0\0WAVE", 12) + fmt + list);
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    EXPECT_NE(openError(&openFfmpegFile, dir / "info.wav"), "opened");
    getrusage(RUSAGE_SELF, &after);
    const long grownKiB = after.ru_maxrss - before.ru_maxrss;
    EXPECT_LT(grownKiB, 512L * 1024) << "peak memory grew by " << grownKiB << " KiB";
}

TEST(FfmpegEncoderTest, AFailedEncodeLeavesNoFileAndReplacesNone) {
    TempDir dir;
    writeFile(dir / "taken.mp3", "precious");
    EXPECT_THROW(encodeAudioFile(dir / "taken.mp3", dualMono(1000), 44100, EncodedFormat::mp3), AudioIOError);
    EXPECT_EQ(fileText(dir / "taken.mp3"), "precious");
    // LAME codes at most two channels: refused before a file is made.
    EXPECT_THROW(encodeAudioFile(dir / "a.mp3", independentNoise(1000, 3), 44100, EncodedFormat::mp3), AudioIOError);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

}  // namespace
}  // namespace twinfold::test
