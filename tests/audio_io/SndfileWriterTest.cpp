#include "AudioIoTestSupport.h"
#include "audio_io/AudioFileWriter.h"
#include "support/ChunkFixtures.h"
#include "support/PcmFixtures.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <string>
#include <vector>

namespace twinfold {
namespace {

using test::Channels;
using test::PcmEncoding;
using Bytes = std::vector<std::uint8_t>;

PcmEncoding encodingForBits(int bits) {
    return bits == 8    ? PcmEncoding::int8
           : bits == 16 ? PcmEncoding::int16
           : bits == 24 ? PcmEncoding::int24
                        : PcmEncoding::int32;
}

WriterSettings settingsFor(int channels, int bits, bool bigEndian = false) {
    return {.sampleRate = 48000, .channelCount = channels, .bitDepth = bits, .isBigEndian = bigEndian};
}

std::uint32_t fieldAt(const Bytes& b, std::size_t at, bool bigEndian) {
    const std::uint32_t v = std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
                            std::uint32_t(b[at + 3]) << 24;
    return bigEndian ? __builtin_bswap32(v) : v;
}

// Junk below the file's depth that the integer path must drop, not round.
std::int32_t junkBelow(int bits, std::size_t frame) {
    return bits == 32 ? 0 : std::int32_t(std::uint32_t(frame + 1) * 2654435761u >> bits);
}

// Writes planar samples through the writer, 7000 frames per call, as
// floats or as the integers they are stored as (plus junk below the depth).
void writeAll(const std::filesystem::path& path, const WriterSettings& s, const Channels& channels,
              bool asInt = false) {
    constexpr std::uint32_t kBlock = 7000;
    auto writer = createAudioFile(path, s);
    PCMBuffer floats(s.channelCount, kBlock);
    IntPCMBuffer ints(s.channelCount, kBlock);
    for (std::size_t at = 0; at < channels[0].size(); at += kBlock) {
        const auto n = std::uint32_t(std::min<std::size_t>(kBlock, channels[0].size() - at));
        for (int c = 0; c < s.channelCount; ++c)
            for (std::uint32_t i = 0; i < n; ++i) {
                floats.channel(c)[i] = float(channels[c][at + i]);
                if (asInt)
                    ints.channel(c)[i] = test::storedInt(channels[c][at + i], encodingForBits(s.bitDepth)) |
                                         junkBelow(s.bitDepth, at + i);
            }
        floats.setFrameLength(n);
        ints.setFrameLength(n);
        if (asInt) {
            writer->writeInt(ints);
        } else {
            writer->write(floats);
        }
    }
    EXPECT_EQ(writer->framesWritten(), std::int64_t(channels[0].size()));
    writer->close();
}

class WriterClippingTest : public testing::TestWithParam<int> {};

TEST_P(WriterClippingTest, ClipsAndRoundsInsteadOfWrappingAround) {
    const int bits = GetParam();
    const double lsb = std::ldexp(1.0, 1 - bits), inf = INFINITY;
    const std::int64_t top = (std::int64_t(1) << (bits - 1)) - 1, bottom = -top - 1;
    // Rounding to nearest, ties to even; 32-bit has no room for fractions of an lsb in float.
    test::Signal in = {1.5, -1.5, 1.0, -1.0, inf, -inf, NAN, 0.5 * lsb, 1.5 * lsb, -2.5 * lsb, 0.75 * lsb};
    std::vector<std::int64_t> expected = {top, bottom, top, bottom, top, bottom, 0, 0, 2, -2, 1};
    in.resize(bits == 32 ? 7 : in.size());
    expected.resize(in.size());

    test::TempDir dir;
    writeAll(dir / "clip.wav", settingsFor(1, bits), {in});
    const auto stored = test::readStoredInts(dir / "clip.wav")[0];
    ASSERT_EQ(stored.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(stored[i] >> (32 - bits), expected[i]) << in[i];
}

INSTANTIATE_TEST_SUITE_P(Depths, WriterClippingTest, testing::Values(8, 16, 24, 32));

TEST(WriterFormatTest, DiscreteChannelsCarryNoSpeakerPositions) {
    test::TempDir dir;
    const Channels channels = test::multichannel({6, {{1, 2}}, {5}}, 1000, PcmEncoding::int24);
    for (bool clear : {false, true}) {
        WriterSettings s = settingsFor(6, 24);
        s.clearSpeakerMask = clear;
        const auto path = dir / (clear ? "discrete.wav" : "positioned.wav");
        writeAll(path, s, channels);
        const Bytes bytes = test::fileBytes(path);
        const std::size_t fmt = test::findId(bytes, "fmt ") + 4 + 4;
        ASSERT_LT(fmt + 24, bytes.size());
        EXPECT_EQ(fieldAt(bytes, fmt, false) & 0xFFFF, 0xFFFEu);  // WAVE_FORMAT_EXTENSIBLE
        EXPECT_EQ(fieldAt(bytes, fmt + 20, false), clear ? 0u : 0x3Fu);
        for (int c = 0; c < 6; ++c)
            EXPECT_EQ(test::readStoredInts(path)[c], test::storedInts(channels[c], PcmEncoding::int24));
    }
}

// A file is complete after close() or, failing that, the destructor; an
// empty one is valid too.
TEST(WriterFormatTest, EmptyAndUnclosedFilesAreComplete) {
    test::TempDir dir;
    PCMBuffer buffer(2, 501);
    for (const auto& [name, frames, close] : {std::tuple{"empty.wav", 0u, true}, std::tuple{"empty.aiff", 0u, true},
                                              std::tuple{"unclosed.wav", 501u, false}}) {
        auto writer = createAudioFile(dir / name, settingsFor(2, 16));
        buffer.setFrameLength(frames);
        writer->write(buffer);
        if (close) writer->close();
        writer.reset();
        EXPECT_EQ(test::pcmFileInfo(dir / name).channels, 2) << name;
        EXPECT_EQ(test::pcmFileInfo(dir / name).frames, frames) << name;
        auto reader = openAudioFile(dir / name);
        EXPECT_EQ(reader->length(), frames) << name;
        EXPECT_EQ(test::readToEnd(*reader, 1000)[0].size(), frames) << name;
    }
}

// ---- what is written reads back exactly --------------------------------------------

// The audio chunk declares the samples alone; after odd-length audio one
// zero pad byte follows, counted only by the container size.
void expectExactAudioChunk(const Bytes& bytes, bool aiff, std::uint32_t frames, std::uint32_t dataBytes) {
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4) + std::string(bytes.begin() + 8, bytes.begin() + 12),
              aiff ? "FORMAIFF" : "RIFFWAVE");
    std::size_t dataEnd = 0;
    if (aiff) {
        EXPECT_EQ(fieldAt(bytes, test::findId(bytes, "COMM") + 4 + 6, true), frames);  // numSampleFrames
        const std::size_t ssnd = test::findId(bytes, "SSND") + 4;
        const std::uint32_t offset = fieldAt(bytes, ssnd + 4, true);
        EXPECT_EQ(fieldAt(bytes, ssnd, true), 8 + offset + dataBytes);
        dataEnd = ssnd + 12 + offset + dataBytes;
    } else {
        const std::size_t data = test::findId(bytes, "data") + 4;
        EXPECT_EQ(fieldAt(bytes, data, false), dataBytes);
        dataEnd = data + 4 + dataBytes;
    }
    ASSERT_EQ(bytes.size(), dataEnd + dataBytes % 2);
    if (dataBytes % 2) {
        EXPECT_EQ(bytes.back(), 0);
    }
    EXPECT_EQ(fieldAt(bytes, 4, aiff), bytes.size() - 8);
}

struct Layout {
    bool aiff;
    int bits;
    int channels;
    bool asInt;  // floats are exact up to 24 bits; 32-bit integers need the integer path
};

class WriterLayoutTest : public testing::TestWithParam<Layout> {};

TEST_P(WriterLayoutTest, LibsndfileReadsExactlyTheSamplesWritten) {
    const auto [aiff, bits, channels, asInt] = GetParam();
    constexpr std::uint32_t kFrames = 20'001;  // odd, so odd frame sizes leave odd-length audio
    const PcmEncoding encoding = encodingForBits(bits);
    test::TempDir dir;
    const auto path = dir / (aiff ? "out.aif" : "out.wav");
    Channels written;
    std::vector<std::vector<std::int32_t>> expected;
    for (int c = 0; c < channels; ++c) {
        written.push_back(test::noise(kFrames, encoding, 20 + c, 1.0));
        written.back()[0] = c == 0 ? -1.0 : test::quantize(1.0, encoding);  // both extremes
        written.back().back() = -0.5;                                       // a lost or extra zero frame cannot hide
        expected.push_back(test::storedInts(written.back(), encoding));
    }
    writeAll(path, settingsFor(channels, bits, aiff), written, asInt);

    EXPECT_EQ(test::pcmFileInfo(path).frames, kFrames);
    EXPECT_EQ(test::readStoredInts(path), expected);
    expectExactAudioChunk(test::fileBytes(path), aiff, kFrames, kFrames * std::uint32_t(channels * bits / 8));
}

INSTANTIATE_TEST_SUITE_P(Layouts, WriterLayoutTest,
                         testing::Values(Layout{true, 8, 1, false}, Layout{true, 8, 3, true}, Layout{true, 16, 2, true},
                                         Layout{true, 24, 1, true}, Layout{true, 24, 3, false},
                                         Layout{true, 24, 5, false}, Layout{true, 32, 2, true},
                                         Layout{false, 8, 1, true}, Layout{false, 8, 2, false},
                                         Layout{false, 16, 1, false}, Layout{false, 16, 2, true},
                                         Layout{false, 24, 1, false}, Layout{false, 24, 3, true},
                                         Layout{false, 24, 5, false}, Layout{false, 32, 2, true}),
                         [](const auto& info) {
                             const Layout& p = info.param;
                             return std::string(p.aiff ? "aiff" : "wav") + std::to_string(p.bits) + "_" +
                                    std::to_string(p.channels) + (p.asInt ? "ch_int" : "ch_float");
                         });

// ---- float files ---------------------------------------------------------------------

struct FloatLayout {
    bool aiff;
    int bits;
    bool asDouble;  // through writeDouble rather than write
};

class WriterFloatTest : public testing::TestWithParam<FloatLayout> {};

// Beyond full scale, infinite, subnormal, negative zero and, for doubles,
// finer than a float: each sample is stored as it was given, never clipped.
TEST_P(WriterFloatTest, SamplesAreStoredAsTheyAre) {
    const auto [aiff, bits, asDouble] = GetParam();
    const std::vector<double> values = {4.0, -1.5, 1.0, -1.0, 1e-40, INFINITY, -0.0, 0.1, 1.0 + 0x1p-40};
    test::TempDir dir;
    const auto path = dir / (aiff ? "out.aif" : "out.wav");
    auto writer = createAudioFile(path, {.sampleRate = 48000, .channelCount = 2, .bitDepth = bits, .isFloat = true});
    std::vector<double> given;
    PCMBuffer floats(2, std::uint32_t(values.size()));
    PlanarBuffer<double> doubles(2, std::uint32_t(values.size()));
    for (std::size_t i = 0; i < values.size(); ++i) {
        given.push_back(asDouble ? values[i] : double(float(values[i])));
        floats.channel(0)[i] = float(values[i]);
        floats.channel(1)[i] = -float(values[i]);
        doubles.channel(0)[i] = values[i];
        doubles.channel(1)[i] = -values[i];
    }
    floats.setFrameLength(std::uint32_t(values.size()));
    doubles.setFrameLength(std::uint32_t(values.size()));
    if (asDouble) {
        writer->writeDouble(doubles);
    } else {
        writer->write(floats);
    }
    writer->close();

    const int format = test::pcmFileInfo(path).format;
    EXPECT_EQ(format & SF_FORMAT_SUBMASK, bits == 64 ? SF_FORMAT_DOUBLE : SF_FORMAT_FLOAT);
    if (aiff) {
        EXPECT_EQ(test::readBytes(path).substr(8, 4), "AIFC");  // plain AIFF has no floats
    }
    const auto stored = test::readDoubles(path);
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(std::bit_cast<std::uint64_t>(stored[0][i]), std::bit_cast<std::uint64_t>(given[i])) << values[i];
        EXPECT_EQ(std::bit_cast<std::uint64_t>(stored[1][i]), std::bit_cast<std::uint64_t>(-given[i])) << values[i];
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, WriterFloatTest,
                         testing::Values(FloatLayout{false, 32, false}, FloatLayout{true, 32, false},
                                         FloatLayout{false, 64, false}, FloatLayout{false, 64, true},
                                         FloatLayout{true, 64, true}),
                         [](const auto& info) {
                             const FloatLayout& p = info.param;
                             return std::string(p.aiff ? "aiff" : "wav") + std::to_string(p.bits) +
                                    (p.asDouble ? "_doubles" : "_floats");
                         });

// ---- refusals ---------------------------------------------------------------------

TEST(WriterRefusalTest, NeverReplacesAnExistingFile) {
    test::TempDir dir;
    test::writeBytes(dir / "precious.wav", "irreplaceable");
    EXPECT_THROW(createAudioFile(dir / "precious.wav", settingsFor(1, 16)), AudioIOError);
    EXPECT_EQ(test::readBytes(dir / "precious.wav"), "irreplaceable");
}

TEST(WriterRefusalTest, RefusesUnknownExtensionsAndSettingsWithoutLeavingAFile) {
    test::TempDir dir;
    EXPECT_EQ(containerForExtension("a.WAV"), ContainerType::wave);
    EXPECT_EQ(containerForExtension("a.Aiff"), ContainerType::aiff);
    EXPECT_EQ(containerForExtension("a.aif"), ContainerType::aiff);
    for (const char* name : {"a.mp3", "a.wave", "noextension"})
        EXPECT_THROW(createAudioFile(dir / name, settingsFor(1, 16)), AudioIOError) << name;
    WriterSettings noRate = settingsFor(1, 16);
    noRate.sampleRate = 0;
    WriterSettings float24 = settingsFor(1, 24), float16 = settingsFor(1, 16);
    float24.isFloat = float16.isFloat = true;
    for (const WriterSettings& s :
         {settingsFor(1, 12), settingsFor(0, 16), settingsFor(1, 64), noRate, float24, float16})
        EXPECT_THROW(createAudioFile(dir / "bad.wav", s), AudioIOError);
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

    // Samples that a file's format would have to round or misread.
    IntPCMBuffer ints(1, 10);
    PlanarBuffer<double> doubles(1, 10);
    ints.setFrameLength(10);
    doubles.setFrameLength(10);
    WriterSettings float32 = settingsFor(1, 32);
    float32.isFloat = true;
    auto floatFile = createAudioFile(dir / "float.wav", float32);
    EXPECT_THROW(floatFile->writeInt(ints), AudioIOError);
    EXPECT_THROW(floatFile->writeDouble(doubles), AudioIOError);
    EXPECT_THROW(createAudioFile(dir / "int.wav", settingsFor(1, 32))->writeDouble(doubles), AudioIOError);
}

}  // namespace
}  // namespace twinfold
