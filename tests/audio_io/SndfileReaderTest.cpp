#include "AudioIoTestSupport.h"
#include "audio_io/SndfileReader.h"

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

TEST(SndfileReaderMisuseTest, RefusesANegativeSeekAndANarrowBuffer) {
    TempDir dir;
    writePcm(dir / "a.wav", {}, stereo(StereoKind::trueStereo, 100, PcmEncoding::int16));
    auto reader = openSndfileFile(dir / "a.wav");
    EXPECT_THROW(reader->seek(-1), AudioIOError);
    PCMBuffer mono(1, 100);
    EXPECT_THROW(reader->read(mono, 100), AudioIOError);
    EXPECT_EQ(reader->position(), 0);
    PCMBuffer zero(2, 0);
    reader->read(zero, 100);
    EXPECT_EQ(zero.frameLength(), 0u);
}

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
        EXPECT_EQ(reader->fileFormat().formatID, kFormatLinearPCM);
        EXPECT_EQ(reader->fileFormat().commonFormat, common);
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

struct DeclaredLength {
    const char* name;
    std::uint32_t written;                // frames libsndfile writes, followed by a zero pad byte when odd
    double last;                          // the last frame written
    std::uint32_t commFrames, ssndBytes;  // then declared in COMM and SSND
    std::int64_t expected;
};

class DeclaredLengthTest : public testing::TestWithParam<DeclaredLength> {};

TEST_P(DeclaredLengthTest, ReadsOnlyTheFramesRecorded) {
    const DeclaredLength& c = GetParam();
    TempDir dir;
    const auto path = dir / "declared.aif";
    Signal written = noise(c.written, PcmEncoding::int8, 8, 1.0);
    written.back() = c.last;
    writePcm(path, {PcmContainer::aiff, PcmEncoding::int8}, {written});
    auto bytes = fileBytes(path);
    putBE32(bytes, findId(bytes, "COMM") + 10, c.commFrames);
    putBE32(bytes, findId(bytes, "SSND") + 4, 8 + c.ssndBytes);
    overwriteFileBytes(path, bytes);

    auto reader = openAudioFile(path);
    EXPECT_EQ(reader->length(), c.expected);
    written.resize(std::size_t(c.expected));
    EXPECT_EQ(readToEnd(*reader, 300)[0], asFloats(written));
}

INSTANTIATE_TEST_SUITE_P(Headers, DeclaredLengthTest,
                         testing::Values(
                             // The byte beyond COMM's count is the zero pad: not a frame.
                             DeclaredLength{"padCountedInSsnd", 1001, -0.5, 1001, 1002, 1001},
                             // A nonzero byte there is audio that COMM misses; keep it.
                             DeclaredLength{"oneByteMoreThatIsAudio", 1002, -0.5, 1001, 1002, 1002},
                             // A recording that stopped before its header was finished.
                             DeclaredLength{"commNeverUpdated", 1000, -0.5, 0, 1000, 1000},
                             // A consistent file ending in silence loses nothing.
                             DeclaredLength{"evenLengthEndingInSilence", 1002, 0.0, 1002, 1002, 1002}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace twinfold::test
