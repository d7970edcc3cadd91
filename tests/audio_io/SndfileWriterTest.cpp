#include "AudioIoTestSupport.h"
#include "audio_io/AudioFileWriter.h"

#include <bit>
#include <iterator>

namespace twinfold::test {
namespace {

WriterSettings settingsFor(int channels, int bits, bool isFloat = false) {
    return {.sampleRate = 48000, .channelCount = channels, .bitDepth = bits, .isFloat = isFloat};
}

class WriterTest : public testing::Test {
protected:
    TempDir dir;
};

// libsndfile invents speaker positions from the channel count; channels kept
// from a larger file are discrete and must not claim them.
TEST_F(WriterTest, DiscreteChannelsCarryNoSpeakerPositions) {
    const Channels channels = multichannel({6, {{1, 2}}, {5}}, 1000, PcmEncoding::int24);
    for (bool clear : {false, true}) {
        WriterSettings s = settingsFor(6, 24);
        s.clearSpeakerMask = clear;
        const auto path = dir / (clear ? "discrete.wav" : "positioned.wav");
        auto writer = createAudioFile(path, s);
        PCMBuffer floats(6, 1000);
        for (int c = 0; c < 6; ++c) std::copy(channels[c].begin(), channels[c].end(), floats.channel(c));
        floats.setFrameLength(1000);
        writer->write(floats);
        writer->close();
        const std::vector<std::uint8_t> bytes = fileBytes(path);
        const std::size_t fmt = findId(bytes, "fmt ") + 8;
        EXPECT_EQ(loadLE16(&bytes[fmt]), 0xFFFEu);  // WAVE_FORMAT_EXTENSIBLE
        EXPECT_EQ(loadLE32(&bytes[fmt + 20]), clear ? 0u : 0x3Fu);
        const auto stored = readStoredInts(path);
        for (int c = 0; c < 6; ++c) EXPECT_EQ(stored[c], storedInts(channels[c], PcmEncoding::int24));
    }
}

// Beyond full scale, infinite, subnormal, negative zero and, for doubles,
// finer than a float: each sample is stored as it was given, never clipped,
// in every float layout (plain AIFF has none: AIFF-C it is).
TEST_F(WriterTest, FloatSamplesAreStoredAsTheyAre) {
    const std::vector<double> values = {4.0, -1.5, 1.0, -1.0, 1e-40, -INFINITY, -0.0, 0.1, 1.0 + 0x1p-40};
    const auto n = std::uint32_t(values.size());
    PCMBuffer floats(1, n);
    PlanarBuffer<double> doubles(1, n);
    std::copy(values.begin(), values.end(), floats.channel(0));
    std::copy(values.begin(), values.end(), doubles.channel(0));
    floats.setFrameLength(n);
    doubles.setFrameLength(n);
    const struct {
        const char* name;
        int bits;
        bool asDouble;  // through writeDouble rather than write
    } layouts[] = {{"f32.wav", 32, false},
                   {"f32.aif", 32, false},
                   {"f64.wav", 64, false},
                   {"d64.wav", 64, true},
                   {"d64.aif", 64, true}};
    for (const auto& [name, bits, asDouble] : layouts) {
        SCOPED_TRACE(name);
        const auto path = dir / name;
        auto writer = createAudioFile(path, settingsFor(1, bits, true));
        asDouble ? writer->writeDouble(doubles) : writer->write(floats);
        writer->close();
        EXPECT_EQ(pcmFileInfo(path).format & SF_FORMAT_SUBMASK, bits == 64 ? SF_FORMAT_DOUBLE : SF_FORMAT_FLOAT);
        EXPECT_TRUE(path.extension() != ".aif" || fileText(path).substr(8, 4) == "AIFC");  // floats need AIFF-C
        std::vector<std::uint64_t> stored, given;
        const auto read = readDoubles(path);
        for (double v : read[0]) stored.push_back(std::bit_cast<std::uint64_t>(v));
        for (double v : values) given.push_back(std::bit_cast<std::uint64_t>(asDouble ? v : double(float(v))));
        EXPECT_EQ(stored, given);
    }
}

TEST_F(WriterTest, RefusesUnknownExtensionsAndSettingsAndNeverReplacesAFile) {
    writeFile(dir / "precious.wav", "irreplaceable");
    EXPECT_THROW(createAudioFile(dir / "precious.wav", settingsFor(1, 16)), AudioIOError);
    EXPECT_EQ(fileText(dir / "precious.wav"), "irreplaceable");
    EXPECT_EQ(containerForExtension("a.aif"), ContainerType::aiff);
    for (const char* name : {"a.mp3", "a.wave", "noextension"})
        EXPECT_THROW(createAudioFile(dir / name, settingsFor(1, 16)), AudioIOError) << name;
    WriterSettings noRate = settingsFor(1, 16);
    noRate.sampleRate = 0;
    for (const WriterSettings& s : {settingsFor(1, 12), settingsFor(0, 16), settingsFor(1, 64), noRate,
                                    settingsFor(1, 24, true), settingsFor(1, 16, true)})
        EXPECT_THROW(createAudioFile(dir / "bad.wav", s), AudioIOError);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

// Narrow buffers, writes after close, and samples that a file's format
// would have to round or misread.
TEST_F(WriterTest, RefusesBuffersItCannotWrite) {
    auto writer = createAudioFile(dir / "narrow.wav", settingsFor(2, 16));
    PCMBuffer mono(1, 10);
    mono.setFrameLength(10);
    EXPECT_THROW(writer->write(mono), AudioIOError);
    writer->close();
    EXPECT_THROW(writer->write(PCMBuffer(2, 10)), AudioIOError);

    IntPCMBuffer ints(1, 10);
    PlanarBuffer<double> doubles(1, 10);
    auto floatFile = createAudioFile(dir / "float.wav", settingsFor(1, 32, true));
    EXPECT_THROW(floatFile->writeInt(ints), AudioIOError);
    EXPECT_THROW(floatFile->writeDouble(doubles), AudioIOError);
    EXPECT_THROW(createAudioFile(dir / "int.wav", settingsFor(1, 32))->writeDouble(doubles), AudioIOError);
}

}  // namespace
}  // namespace twinfold::test
