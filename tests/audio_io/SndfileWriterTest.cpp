#include "AudioIoTestSupport.h"
#include "audio_io/AudioFileWriter.h"
#include "support/ChunkFixtures.h"
#include "support/PcmFixtures.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <iterator>
#include <string>
#include <vector>

namespace twinfold {
namespace {

using test::Channels;
using test::PcmEncoding;
using Bytes = std::vector<std::uint8_t>;

WriterSettings settingsFor(int channels, int bits) {
    return {.sampleRate = 48000, .channelCount = channels, .bitDepth = bits};
}

std::uint32_t le32At(const Bytes& b, std::size_t at) {
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
           std::uint32_t(b[at + 3]) << 24;
}

// Writes planar samples through the writer as floats, 7000 frames per call.
void writeAll(const std::filesystem::path& path, const WriterSettings& s, const Channels& channels) {
    constexpr std::uint32_t kBlock = 7000;
    auto writer = createAudioFile(path, s);
    PCMBuffer floats(s.channelCount, kBlock);
    for (std::size_t at = 0; at < channels[0].size(); at += kBlock) {
        const auto n = std::uint32_t(std::min<std::size_t>(kBlock, channels[0].size() - at));
        for (int c = 0; c < s.channelCount; ++c)
            for (std::uint32_t i = 0; i < n; ++i) floats.channel(c)[i] = float(channels[c][at + i]);
        floats.setFrameLength(n);
        writer->write(floats);
    }
    EXPECT_EQ(writer->framesWritten(), std::int64_t(channels[0].size()));
    writer->close();
}

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
        EXPECT_EQ(le32At(bytes, fmt) & 0xFFFF, 0xFFFEu);  // WAVE_FORMAT_EXTENSIBLE
        EXPECT_EQ(le32At(bytes, fmt + 20), clear ? 0u : 0x3Fu);
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
    const std::vector<double> values = {4.0, -1.5, 1.0, -1.0, 1e-40, -INFINITY, -0.0, 0.1, 1.0 + 0x1p-40};
    test::TempDir dir;
    const auto path = dir / (aiff ? "out.aif" : "out.wav");
    auto writer = createAudioFile(path, {.sampleRate = 48000, .channelCount = 1, .bitDepth = bits, .isFloat = true});
    std::vector<std::uint64_t> given;
    PCMBuffer floats(1, std::uint32_t(values.size()));
    PlanarBuffer<double> doubles(1, std::uint32_t(values.size()));
    for (std::size_t i = 0; i < values.size(); ++i) {
        given.push_back(std::bit_cast<std::uint64_t>(asDouble ? values[i] : double(float(values[i]))));
        floats.channel(0)[i] = float(values[i]);
        doubles.channel(0)[i] = values[i];
    }
    floats.setFrameLength(std::uint32_t(values.size()));
    doubles.setFrameLength(std::uint32_t(values.size()));
    asDouble ? writer->writeDouble(doubles) : writer->write(floats);
    writer->close();

    EXPECT_EQ(test::pcmFileInfo(path).format & SF_FORMAT_SUBMASK, bits == 64 ? SF_FORMAT_DOUBLE : SF_FORMAT_FLOAT);
    if (aiff) {
        EXPECT_EQ(test::fileText(path).substr(8, 4), "AIFC");  // plain AIFF has no floats
    }
    std::vector<std::uint64_t> stored;
    const auto read = test::readDoubles(path);
    for (double v : read[0]) stored.push_back(std::bit_cast<std::uint64_t>(v));
    EXPECT_EQ(stored, given);
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

TEST(WriterRefusalTest, RefusesUnknownExtensionsAndSettingsAndNeverReplacesAFile) {
    test::TempDir dir;
    test::writeFile(dir / "precious.wav", "irreplaceable");
    EXPECT_THROW(createAudioFile(dir / "precious.wav", settingsFor(1, 16)), AudioIOError);
    EXPECT_EQ(test::fileText(dir / "precious.wav"), "irreplaceable");
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
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
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
