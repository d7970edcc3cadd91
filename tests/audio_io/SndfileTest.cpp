#include "AudioIoTestSupport.h"
#include "audio_io/AudioFileWriter.h"

#include <bit>
#include <iterator>
#include <tuple>

namespace twinfold::test {
namespace {

// What a reader must deliver for values stored on the grid.
std::vector<float> asFloats(const Signal& signal) { return std::vector<float>(signal.begin(), signal.end()); }

struct Case {
    PcmContainer container;
    PcmEncoding encoding;
    int channels;
};

std::string caseName(const testing::TestParamInfo<Case>& info) {
    static const char* containers[] = {"wav", "aiff", "aifc", "rf64"};
    static const char* encodings[] = {"int8", "int16", "int24", "int32", "float32", "float64"};
    return std::string(containers[int(info.param.container)]) + "_" + encodings[int(info.param.encoding)] + "_" +
           std::to_string(info.param.channels) + "ch";
}

std::vector<Case> allCases() {
    std::vector<Case> cases;
    for (auto container : {PcmContainer::wav, PcmContainer::aiff, PcmContainer::aifc, PcmContainer::rf64})
        for (auto encoding : {PcmEncoding::int8, PcmEncoding::int16, PcmEncoding::int24, PcmEncoding::int32,
                              PcmEncoding::float32, PcmEncoding::float64})
            if (container != PcmContainer::aifc || encoding != PcmEncoding::int8)
                cases.push_back({container, encoding, 2});
    // The decoder has separate loops per channel count and byte order.
    for (auto container : {PcmContainer::wav, PcmContainer::aiff})
        for (auto encoding : {PcmEncoding::int16, PcmEncoding::int24, PcmEncoding::int32, PcmEncoding::float32})
            for (int channels : {1, 3, 4, 6, 8, 11}) cases.push_back({container, encoding, channels});
    return cases;
}

class SndfileReaderTest : public testing::TestWithParam<Case> {};

// More frames than one raw block holds, so block boundaries are crossed;
// the extremes of the grid must survive too.
TEST_P(SndfileReaderTest, ReportsTheStoredFormatAndDecodesEverySampleExactly) {
    const Case& c = GetParam();
    constexpr std::size_t kFrames = 100'003;
    Channels written = multichannel({c.channels, {}, {}}, kFrames, c.encoding, 42);
    written[0][0] = -1.0;
    written[0][1] = quantize(1.0, c.encoding);
    TempDir dir;
    writePcm(dir / "source.audio", {c.container, c.encoding, 44100}, written);
    const auto reader = openAudioFile(dir / "source.audio");
    const AudioFormatInfo& f = reader->fileFormat();
    const CommonFormat common[] = {CommonFormat::other, CommonFormat::int16,   CommonFormat::other,
                                   CommonFormat::int32, CommonFormat::float32, CommonFormat::float64};
    EXPECT_EQ(std::tuple(f.sampleRate, f.channelCount, f.formatID, f.bitsPerChannel, f.isFloat, f.commonFormat),
              std::tuple(44100.0, c.channels, kFormatLinearPCM, bitsOf(c.encoding), isFloat(c.encoding),
                         common[int(c.encoding)]));
    ASSERT_EQ(reader->length(), std::int64_t(kFrames));

    const FloatChannels read = readToEnd(*reader, 70'001);
    EXPECT_EQ(reader->position(), reader->length());
    reader->seek(0);
    IntPCMBuffer ints(c.channels, kFrames);
    reader->readInt(ints, kFrames);
    ASSERT_EQ(ints.frameLength(), kFrames);
    for (int ch = 0; ch < c.channels; ++ch) {
        EXPECT_EQ(read[ch], asFloats(written[ch])) << "channel " << ch;
        // Integers come back as stored; floats convert at full scale 2^31,
        // rounded, clipped at the top.
        std::vector<std::int32_t> expected;
        for (double v : written[ch])
            expected.push_back(isFloat(c.encoding)
                                   ? std::int32_t(std::min(std::nearbyint(double(float(v)) * 0x1p31), 2147483647.0))
                                   : storedInt(v, c.encoding));
        EXPECT_EQ(std::vector<std::int32_t>(ints.channel(ch), ints.channel(ch) + kFrames), expected) << ch;
    }
    const std::int64_t length = reader->length();
    expectSeeksMatch(*reader, read, {1, 43'689, 77'777, 0, length - 1, length, length + 10});
}

INSTANTIATE_TEST_SUITE_P(Formats, SndfileReaderTest, testing::ValuesIn(allCases()), caseName);

// Other containers of plain PCM take the same fast path.
TEST(SndfileReaderFormatTest, OtherContainersReadLikeLibsndfile) {
    TempDir dir;
    std::vector<int> interleaved(2 * 5000);
    for (std::size_t i = 0; i < interleaved.size(); ++i) interleaved[i] = (int(i * 7919 % 65536) - 32768) * 65536;
    const std::pair<int, CommonFormat> formats[] = {
        {SF_FORMAT_W64 | SF_FORMAT_PCM_24, CommonFormat::other},
        {SF_FORMAT_CAF | SF_FORMAT_PCM_24, CommonFormat::other},
        {SF_FORMAT_CAF | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE, CommonFormat::int16},
        {SF_FORMAT_CAF | SF_FORMAT_FLOAT, CommonFormat::float32}};
    for (const auto& [format, common] : formats) {
        SCOPED_TRACE(testing::Message() << std::hex << format);
        const auto path = dir / ("f" + std::to_string(format));
        writeSndfile(path, format, 2, 8000, interleaved);
        auto reader = openAudioFile(path);
        EXPECT_EQ(std::pair(reader->fileFormat().formatID, reader->fileFormat().commonFormat),
                  std::pair(kFormatLinearPCM, common));
        EXPECT_EQ(readToEnd(*reader, 999), readFloats(path));
        if (format & SF_FORMAT_FLOAT) continue;  // libsndfile reads float files as unscaled integers
        IntPCMBuffer ints(2, 5000);
        reader->seek(0);
        reader->readInt(ints, 5000);
        const auto oracle = readStoredInts(path);
        for (int c = 0; c < 2; ++c) EXPECT_EQ(std::vector<int>(ints.channel(c), ints.channel(c) + 5000), oracle[c]);
    }
}

// ---- 8-bit mono AIFF whose two length fields disagree -------------------------------
// Some writers count the pad byte after odd-length sound data in the SSND
// size, which libsndfile then reads as one more frame than COMM declares.

TEST(DeclaredLengthTest, ReadsOnlyTheFramesRecorded) {
    // The frames libsndfile writes (followed by a zero pad byte when odd), the
    // last of them, the frames and bytes then declared in COMM and SSND, and
    // the frames read.
    const std::tuple<const char*, std::uint32_t, double, std::uint32_t, std::uint32_t, std::int64_t> cases[] = {
        // The byte beyond COMM's count is the zero pad: not a frame.
        {"padCountedInSsnd", 1001, -0.5, 1001, 1002, 1001},
        // A nonzero byte there is audio that COMM misses; keep it.
        {"oneByteMoreThatIsAudio", 1002, -0.5, 1001, 1002, 1002},
        // A recording that stopped before its header was finished.
        {"commNeverUpdated", 1000, -0.5, 0, 1000, 1000},
        // A consistent file ending in silence loses nothing.
        {"evenLengthEndingInSilence", 1002, 0.0, 1002, 1002, 1002}};
    TempDir dir;
    const auto path = dir / "declared.aif";
    for (const auto& [name, frames, last, commFrames, ssndBytes, expected] : cases) {
        Signal written = noise(frames, PcmEncoding::int8, 8, 1.0);
        written.back() = last;
        writePcm(path, {PcmContainer::aiff, PcmEncoding::int8}, {written});
        auto bytes = fileBytes(path);
        putBE32(bytes, findId(bytes, "COMM") + 10, commFrames);
        putBE32(bytes, findId(bytes, "SSND") + 4, 8 + ssndBytes);
        overwriteFileBytes(path, bytes);

        auto reader = openAudioFile(path);
        written.resize(std::size_t(expected));
        EXPECT_EQ(std::pair(reader->length(), readToEnd(*reader, 300)[0]), std::pair(expected, asFloats(written)))
            << name;
    }
}

// ---- the writer -------------------------------------------------------------------

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
    // The file, its bits, and whether it is written through writeDouble rather than write.
    const std::tuple<const char*, int, bool> layouts[] = {{"f32.wav", 32, false},
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

TEST_F(WriterTest, NeverReplacesAFile) {
    writeFile(dir / "precious.wav", "irreplaceable");
    EXPECT_THROW(createAudioFile(dir / "precious.wav", settingsFor(1, 16)), AudioIOError);
    EXPECT_EQ(fileText(dir / "precious.wav"), "irreplaceable");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

}  // namespace
}  // namespace twinfold::test
