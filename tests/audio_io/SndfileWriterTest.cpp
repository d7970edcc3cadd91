#include "audio_io/AudioFileReader.h"
#include "audio_io/AudioFileWriter.h"
#include "audio_io/AudioIOError.h"
#include "audio_io/FfmpegReader.h"
#include "support/PcmFixtures.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace twinfold {
namespace {

using test::Channels;
using test::PcmContainer;
using test::PcmEncoding;

PcmEncoding encodingForBits(int bits) {
    switch (bits) {
        case 8: return PcmEncoding::int8;
        case 16: return PcmEncoding::int16;
        case 24: return PcmEncoding::int24;
        default: return PcmEncoding::int32;
    }
}

WriterSettings settingsFor(int channels, int bits, bool aiff = false) {
    WriterSettings s;
    s.sampleRate = 48000;
    s.channelCount = channels;
    s.bitDepth = bits;
    s.isBigEndian = aiff;
    return s;
}

std::vector<std::uint8_t> fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string fourBytes(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return std::string(bytes.begin() + at, bytes.begin() + at + 4);
}

// Copies `source` to `output` chunk by chunk, through float or through integers.
void copyThrough(const std::filesystem::path& source, const std::filesystem::path& output, int bits, bool asInt) {
    auto reader = openAudioFile(source);
    auto writer = createAudioFile(output, settingsFor(reader->channelCount(), bits));
    PCMBuffer floats(reader->channelCount(), 30'000);
    IntPCMBuffer ints(reader->channelCount(), 30'000);
    for (;;) {
        if (asInt) {
            reader->readInt(ints, 30'000);
            if (ints.frameLength() == 0) break;
            writer->writeInt(ints);
        } else {
            reader->read(floats, 30'000);
            if (floats.frameLength() == 0) break;
            writer->write(floats);
        }
    }
    EXPECT_EQ(writer->framesWritten(), reader->length());
    writer->close();
}

// ---- round trips ----------------------------------------------------------------

struct RoundTrip {
    PcmContainer container;
    int bits;
    bool asInt;
};

class WriterRoundTripTest : public testing::TestWithParam<RoundTrip> {};

TEST_P(WriterRoundTripTest, WritesBackTheStoredIntegersUnchanged) {
    const RoundTrip& p = GetParam();
    const PcmEncoding encoding = encodingForBits(p.bits);
    const bool aiff = p.container == PcmContainer::aiff;
    test::TempDir dir;
    Channels source = test::stereo(test::StereoKind::trueStereo, 50'001, encoding, 3, 0.5);
    source[0] = test::noise(50'001, encoding, 9, 1.0);  // the whole range, both extremes included
    source[0][0] = -1.0;
    source[0][1] = test::quantize(1.0, encoding);
    source[1][0] = test::quantize(-1.0 / (1 << 23), encoding);
    test::writePcm(dir / (aiff ? "in.aif" : "in.wav"), {p.container, encoding}, source);

    const auto output = dir / (aiff ? "out.aiff" : "out.wav");
    copyThrough(dir / (aiff ? "in.aif" : "in.wav"), output, p.bits, p.asInt);

    EXPECT_EQ(test::readStoredInts(output), test::readStoredInts(dir / (aiff ? "in.aif" : "in.wav")));
    const auto bytes = fileBytes(output);
    EXPECT_EQ(fourBytes(bytes, 0), aiff ? "FORM" : "RIFF");
    EXPECT_EQ(fourBytes(bytes, 8), aiff ? "AIFF" : "WAVE");
}

std::string roundTripName(const testing::TestParamInfo<RoundTrip>& info) {
    return std::string(info.param.container == PcmContainer::aiff ? "aiff" : "wav") + "_" +
           std::to_string(info.param.bits) + (info.param.asInt ? "_int" : "_float");
}

// Float is exact for up to 24 bits; 32-bit integers need the integer path.
INSTANTIATE_TEST_SUITE_P(Depths, WriterRoundTripTest,
                         testing::Values(RoundTrip{PcmContainer::wav, 8, false}, RoundTrip{PcmContainer::wav, 16, false},
                                         RoundTrip{PcmContainer::wav, 24, false}, RoundTrip{PcmContainer::aiff, 8, false},
                                         RoundTrip{PcmContainer::aiff, 16, false},
                                         RoundTrip{PcmContainer::aiff, 24, false}, RoundTrip{PcmContainer::wav, 8, true},
                                         RoundTrip{PcmContainer::wav, 16, true}, RoundTrip{PcmContainer::wav, 24, true},
                                         RoundTrip{PcmContainer::wav, 32, true}, RoundTrip{PcmContainer::aiff, 32, true}),
                         roundTripName);

// ---- conversion of float to the file's integers -------------------------------------

class WriterClippingTest : public testing::TestWithParam<int> {};

TEST_P(WriterClippingTest, ClipsAndRoundsInsteadOfWrappingAround) {
    const int bits = GetParam();
    const double lsb = std::ldexp(1.0, 1 - bits);
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> in = {1.5f, -1.5f, 1.0f, -1.0f, inf, -inf, std::numeric_limits<float>::quiet_NaN(),
                                   float(0.5 * lsb), float(1.5 * lsb), float(-2.5 * lsb), float(0.75 * lsb)};
    const std::int64_t top = (std::int64_t(1) << (bits - 1)) - 1;
    const std::int64_t bottom = -top - 1;
    // Rounding to nearest, ties to even; 32-bit has no room for fractions of an lsb in float.
    std::vector<std::int64_t> expected = {top, bottom, top, bottom, top, bottom, 0, 0, 2, -2, 1};
    if (bits == 32) expected.resize(7);

    test::TempDir dir;
    {
        auto writer = createAudioFile(dir / "clip.wav", settingsFor(1, bits));
        PCMBuffer buffer(1, std::uint32_t(expected.size()));
        std::copy_n(in.begin(), expected.size(), buffer.channel(0));
        buffer.setFrameLength(std::uint32_t(expected.size()));
        writer->write(buffer);
        writer->close();
    }
    const auto stored = test::readStoredInts(dir / "clip.wav")[0];
    ASSERT_EQ(stored.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(stored[i] >> (32 - bits), expected[i]) << "input " << in[i];
}

INSTANTIATE_TEST_SUITE_P(Depths, WriterClippingTest, testing::Values(8, 16, 24, 32));

TEST(WriterIntTest, DropsTheBitsBelowTheFileDepth) {
    test::TempDir dir;
    auto writer = createAudioFile(dir / "drop.aif", settingsFor(1, 16, true));
    IntPCMBuffer buffer(1, 3);
    buffer.channel(0)[0] = (1234 << 16) | 0xABCD;
    buffer.channel(0)[1] = std::int32_t(0x80000000u | 0xFFFFu);
    buffer.channel(0)[2] = -1;
    buffer.setFrameLength(3);
    writer->writeInt(buffer);
    writer->close();
    EXPECT_EQ(test::readStoredInts(dir / "drop.aif")[0], (std::vector<std::int32_t>{1234 << 16, INT32_MIN, -65536}));
}

TEST(WriterFormatTest, AiffIsBigEndianOnDisk) {
    test::TempDir dir;
    auto writer = createAudioFile(dir / "be.AIF", settingsFor(1, 24, true));
    IntPCMBuffer buffer(1, 2);
    buffer.channel(0)[0] = 0x12345600;
    buffer.channel(0)[1] = std::int32_t(0x89ABCD00u);
    buffer.setFrameLength(2);
    writer->writeInt(buffer);
    writer->close();
    const auto bytes = fileBytes(dir / "be.AIF");
    ASSERT_GE(bytes.size(), 6u);
    EXPECT_EQ(fourBytes(bytes, 0), "FORM");
    EXPECT_EQ(fourBytes(bytes, 8), "AIFF");
    // The samples are the file's last six bytes (SSND is the last chunk).
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.end() - 6, bytes.end()),
              (std::vector<std::uint8_t>{0x12, 0x34, 0x56, 0x89, 0xAB, 0xCD}));
}

TEST(WriterFormatTest, DiscreteChannelsCarryNoSpeakerPositions) {
    test::TempDir dir;
    for (std::uint32_t tag : {0u, 0x930006u}) {
        WriterSettings s = settingsFor(6, 24);
        s.channelLayoutTag = tag;
        const auto path = dir / ("six" + std::to_string(tag) + ".wav");
        const Channels channels = test::multichannel({6, {{1, 2}}, {5}}, 1000, PcmEncoding::int24);
        {
            auto writer = createAudioFile(path, s);
            PCMBuffer buffer(6, 1000);
            for (int c = 0; c < 6; ++c) std::copy(channels[c].begin(), channels[c].end(), buffer.channel(c));
            buffer.setFrameLength(1000);
            writer->write(buffer);
            writer->close();
        }
        const auto bytes = fileBytes(path);
        const std::size_t fmt = std::search(bytes.begin(), bytes.end(), "fmt ", "fmt " + 4) - bytes.begin() + 8;
        ASSERT_LT(fmt + 24, bytes.size());
        EXPECT_EQ(bytes[fmt] | bytes[fmt + 1] << 8, 0xFFFE);  // WAVE_FORMAT_EXTENSIBLE
        const std::uint32_t mask = bytes[fmt + 20] | bytes[fmt + 21] << 8 | bytes[fmt + 22] << 16 |
                                   std::uint32_t(bytes[fmt + 23]) << 24;
        EXPECT_EQ(mask, tag == 0 ? 0x3Fu : 0u);
        for (int c = 0; c < 6; ++c) EXPECT_EQ(test::readStoredInts(path)[c], test::storedInts(channels[c], PcmEncoding::int24));
    }
}

TEST(WriterFormatTest, ZeroFramesMakeAValidEmptyFile) {
    test::TempDir dir;
    for (const char* name : {"empty.wav", "empty.aiff"}) {
        createAudioFile(dir / name, settingsFor(2, 16))->close();
        const test::PcmFileInfo info = test::pcmFileInfo(dir / name);
        EXPECT_EQ(info.frames, 0);
        EXPECT_EQ(info.channels, 2);
    }
}

TEST(WriterFormatTest, TheDestructorFinishesTheFile) {
    test::TempDir dir;
    {
        auto writer = createAudioFile(dir / "unclosed.wav", settingsFor(1, 16));
        PCMBuffer buffer(1, 500);
        buffer.setFrameLength(500);
        writer->write(buffer);
    }
    EXPECT_EQ(test::pcmFileInfo(dir / "unclosed.wav").frames, 500);
}

// ---- odd-length audio data: a pad byte follows, and no reader may count it ----------

struct OddCase {
    bool aiff;
    int bits;
    int channels;
};

void PrintTo(const OddCase& c, std::ostream* os) {
    *os << (c.aiff ? "AIFF " : "WAV ") << c.bits << "-bit " << c.channels << " channels";
}

std::string oddCaseName(const testing::TestParamInfo<OddCase>& info) {
    return std::string(info.param.aiff ? "aiff" : "wav") + std::to_string(info.param.bits) + "_" +
           std::to_string(info.param.channels) + "ch";
}

std::uint32_t fieldAt(const std::vector<std::uint8_t>& b, std::size_t at, bool bigEndian) {
    const std::uint32_t v = std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
                            std::uint32_t(b[at + 3]) << 24;
    return bigEndian ? __builtin_bswap32(v) : v;
}

// Offset of the size field of the first chunk `id` (the contents follow it).
std::size_t chunkSizeAt(const std::vector<std::uint8_t>& b, const std::string& id, bool bigEndian) {
    for (std::size_t at = 12; at + 8 <= b.size();) {
        const std::uint32_t size = fieldAt(b, at + 4, bigEndian);
        if (fourBytes(b, at) == id) return at + 4;
        at += 8 + std::size_t(size) + (size & 1);
    }
    ADD_FAILURE() << "no " << id << " chunk";
    return 0;
}

class WriterOddLengthTest : public testing::TestWithParam<OddCase> {
protected:
    static constexpr std::uint32_t kFrames = 1001;

    void SetUp() override {
        const OddCase& p = GetParam();
        path_ = dir_ / (p.aiff ? "odd.aif" : "odd.wav");
        for (int c = 0; c < p.channels; ++c) {
            written_.push_back(test::noise(kFrames, encodingForBits(p.bits), 20 + c, 1.0));
            written_.back().back() = -0.5;  // a lost or extra zero sample cannot hide
        }
        auto writer = createAudioFile(path_, settingsFor(p.channels, p.bits, p.aiff));
        PCMBuffer buffer(p.channels, kFrames);
        for (int c = 0; c < p.channels; ++c) std::copy(written_[c].begin(), written_[c].end(), buffer.channel(c));
        buffer.setFrameLength(kFrames);
        writer->write(buffer);
        writer->close();
    }

    std::vector<std::int32_t> expected(int channel) const {
        return test::storedInts(written_[channel], encodingForBits(GetParam().bits));
    }

    test::TempDir dir_;
    std::filesystem::path path_;
    Channels written_;
};

TEST_P(WriterOddLengthTest, LibsndfileReadsExactlyTheFramesWritten) {
    EXPECT_EQ(test::pcmFileInfo(path_).frames, kFrames);
    const auto stored = test::readStoredInts(path_);
    for (int c = 0; c < GetParam().channels; ++c) EXPECT_EQ(stored[c], expected(c)) << "channel " << c;
}

TEST_P(WriterOddLengthTest, OurReadersReadExactlyTheFramesWritten) {
    for (auto open : {&openAudioFile, &openFfmpegFile}) {
        auto reader = open(path_);
        EXPECT_EQ(reader->length(), kFrames);
        IntPCMBuffer buffer(GetParam().channels, kFrames + 1);
        reader->readInt(buffer, kFrames + 1);
        ASSERT_EQ(buffer.frameLength(), kFrames);
        for (int c = 0; c < GetParam().channels; ++c)
            EXPECT_EQ(std::vector<std::int32_t>(buffer.channel(c), buffer.channel(c) + kFrames), expected(c))
                << "channel " << c;
    }
}

// The data chunk declares the samples alone; one zero pad byte follows them
// and is counted only by the container size.
TEST_P(WriterOddLengthTest, TheHeaderDeclaresTheDataWithoutItsPadByte) {
    const OddCase& p = GetParam();
    const auto bytes = fileBytes(path_);
    const std::uint32_t dataBytes = kFrames * std::uint32_t(p.channels * p.bits / 8);
    ASSERT_EQ(dataBytes % 2, 1u);
    std::size_t dataEnd = 0;
    if (p.aiff) {
        EXPECT_EQ(fieldAt(bytes, chunkSizeAt(bytes, "COMM", true) + 6, true), kFrames);  // numSampleFrames
        const std::size_t ssnd = chunkSizeAt(bytes, "SSND", true);
        const std::uint32_t offset = fieldAt(bytes, ssnd + 4, true);
        EXPECT_EQ(fieldAt(bytes, ssnd, true), 8 + offset + dataBytes);
        dataEnd = ssnd + 12 + offset + dataBytes;
    } else {
        const std::size_t data = chunkSizeAt(bytes, "data", false);
        EXPECT_EQ(fieldAt(bytes, data, false), dataBytes);
        dataEnd = data + 4 + dataBytes;
    }
    ASSERT_EQ(bytes.size(), dataEnd + 1);
    EXPECT_EQ(bytes.back(), 0);
    EXPECT_EQ(fieldAt(bytes, 4, p.aiff), bytes.size() - 8);
}

INSTANTIATE_TEST_SUITE_P(Layouts, WriterOddLengthTest,
                         testing::Values(OddCase{true, 8, 1}, OddCase{true, 8, 3}, OddCase{true, 24, 1},
                                         OddCase{true, 24, 3}, OddCase{true, 24, 5}, OddCase{false, 8, 1},
                                         OddCase{false, 24, 1}, OddCase{false, 24, 3}, OddCase{false, 24, 5}),
                         oddCaseName);

// ---- refusals ---------------------------------------------------------------------

TEST(WriterRefusalTest, NeverReplacesAnExistingFile) {
    test::TempDir dir;
    const auto path = dir / "precious.wav";
    std::ofstream(path) << "irreplaceable";
    EXPECT_THROW(createAudioFile(path, settingsFor(1, 16)), AudioIOError);
    const auto bytes = fileBytes(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "irreplaceable");
}

TEST(WriterRefusalTest, RefusesUnknownExtensionsAndSettingsWithoutLeavingAFile) {
    test::TempDir dir;
    EXPECT_EQ(containerForExtension("a.WAV"), ContainerType::wave);
    EXPECT_EQ(containerForExtension("a.Aiff"), ContainerType::aiff);
    EXPECT_EQ(containerForExtension("a.aif"), ContainerType::aiff);
    for (const char* name : {"a.mp3", "a.wave", "noextension"}) {
        EXPECT_THROW(createAudioFile(dir / name, settingsFor(1, 16)), AudioIOError) << name;
    }
    WriterSettings badDepth = settingsFor(1, 12), noChannels = settingsFor(0, 16), noRate = settingsFor(1, 16);
    noRate.sampleRate = 0;
    WriterSettings wrongLayout = settingsFor(4, 16);
    wrongLayout.channelLayoutTag = 0x930006;
    for (const WriterSettings& s : {badDepth, noChannels, noRate, wrongLayout}) {
        EXPECT_THROW(createAudioFile(dir / "bad.wav", s), AudioIOError);
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(WriterRefusalTest, RefusesBuffersItCannotWrite) {
    test::TempDir dir;
    auto writer = createAudioFile(dir / "narrow.wav", settingsFor(2, 16));
    PCMBuffer mono(1, 10);
    mono.setFrameLength(10);
    EXPECT_THROW(writer->write(mono), AudioIOError);
    writer->close();
    PCMBuffer stereo(2, 10);
    EXPECT_THROW(writer->write(stereo), AudioIOError);  // after close
}

// Writes 600 KB under a 100 KB file-size limit; exits 0 when that fails
// with AudioIOError, as a full disk must.
[[noreturn]] void writeIntoAFullDisk(const std::filesystem::path& path) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{100'000, 100'000};
    setrlimit(RLIMIT_FSIZE, &limit);
    try {
        auto writer = createAudioFile(path, settingsFor(2, 24));
        PCMBuffer buffer(2, 100'000);
        buffer.setFrameLength(100'000);
        writer->write(buffer);
        writer->close();
    } catch (const AudioIOError&) {
        std::_Exit(0);
    }
    std::_Exit(1);
}

// Runs in a child process so the limit stays there.
TEST(WriterRefusalTest, AFullDiskIsAnError) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    test::TempDir dir;
    EXPECT_EXIT(writeIntoAFullDisk(dir / "full.wav"), testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace twinfold
