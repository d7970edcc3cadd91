#include "audio_io/AudioFileReader.h"
#include "audio_io/AudioIOError.h"
#include "audio_io/SndfileReader.h"
#include "support/ChunkFixtures.h"
#include "support/PcmFixtures.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

namespace twinfold {
namespace {

using test::Channels;
using test::PcmContainer;
using test::PcmEncoding;
using test::Signal;

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
            if (container != PcmContainer::aifc || encoding != PcmEncoding::int8) cases.push_back({container, encoding, 2});
    // The decoder has separate loops per channel count and byte order.
    for (auto container : {PcmContainer::wav, PcmContainer::aiff})
        for (auto encoding : {PcmEncoding::int16, PcmEncoding::int24, PcmEncoding::int32, PcmEncoding::float32})
            for (int channels : {1, 3, 4, 6, 8, 11}) cases.push_back({container, encoding, channels});
    return cases;
}

// Reads the whole file through `reader` in chunks of `chunk` frames.
Channels readThrough(AudioFileReader& reader, std::uint32_t chunk) {
    Channels out(reader.channelCount());
    PCMBuffer buffer(reader.channelCount(), chunk);
    for (;;) {
        reader.read(buffer, chunk);
        if (buffer.frameLength() == 0) break;
        for (int c = 0; c < reader.channelCount(); ++c)
            out[c].insert(out[c].end(), buffer.channel(c), buffer.channel(c) + buffer.frameLength());
    }
    return out;
}

// float(value) is what a reader must deliver for a value stored on the grid.
Channels asFloats(const Channels& channels) {
    Channels out = channels;
    for (auto& channel : out)
        for (double& v : channel) v = double(float(v));
    return out;
}

class SndfileReaderTest : public testing::TestWithParam<Case> {
protected:
    // More frames than one raw block holds, so block boundaries are crossed.
    static constexpr std::size_t kFrames = 100'003;

    void SetUp() override {
        const Case& c = GetParam();
        path_ = dir_ / "source.audio";
        test::ChannelPlan plan{c.channels, {}, {}};
        written_ = test::multichannel(plan, kFrames, c.encoding, 42);
        // The extremes of the grid must survive too.
        written_[0][0] = -1.0;
        written_[0][1] = test::quantize(1.0, c.encoding);
        test::writePcm(path_, {c.container, c.encoding, 44100}, written_);
    }

    test::TempDir dir_;
    std::filesystem::path path_;
    Channels written_;
};

TEST_P(SndfileReaderTest, ReportsTheStoredFormat) {
    const Case& c = GetParam();
    auto reader = openAudioFile(path_);
    const AudioFormatInfo& f = reader->fileFormat();
    EXPECT_EQ(f.sampleRate, 44100);
    EXPECT_EQ(f.channelCount, c.channels);
    EXPECT_EQ(f.formatID, kFormatLinearPCM);
    EXPECT_EQ(f.bitsPerChannel, test::bitsOf(c.encoding));
    EXPECT_EQ(f.isFloat, test::isFloat(c.encoding));
    const CommonFormat expected[] = {CommonFormat::other, CommonFormat::int16,   CommonFormat::other,
                                     CommonFormat::int32, CommonFormat::float32, CommonFormat::float64};
    EXPECT_EQ(f.commonFormat, expected[int(c.encoding)]);
    EXPECT_EQ(reader->length(), std::int64_t(kFrames));

    const AudioFormatInfo p = reader->processingFormat();
    EXPECT_EQ(p.sampleRate, 44100);
    EXPECT_EQ(p.channelCount, c.channels);
    EXPECT_EQ(p.commonFormat, CommonFormat::float32);
    EXPECT_FALSE(p.isInterleaved);
}

TEST_P(SndfileReaderTest, DecodesEverySampleExactly) {
    auto reader = openAudioFile(path_);
    const Channels read = readThrough(*reader, 70'001);
    EXPECT_EQ(reader->position(), reader->length());
    ASSERT_EQ(read.size(), written_.size());
    for (std::size_t c = 0; c < read.size(); ++c) EXPECT_EQ(read[c], asFloats(written_)[c]) << "channel " << c;
}

TEST_P(SndfileReaderTest, ReadIntGivesTheStoredIntegers) {
    const Case& c = GetParam();
    auto reader = openAudioFile(path_);
    IntPCMBuffer buffer(c.channels, kFrames);
    reader->readInt(buffer, kFrames);
    ASSERT_EQ(buffer.frameLength(), kFrames);
    for (int ch = 0; ch < c.channels; ++ch) {
        std::vector<std::int32_t> got(buffer.channel(ch), buffer.channel(ch) + kFrames);
        if (test::isFloat(c.encoding)) {
            // Floats convert at full scale 2^31, rounded, clipped at the top.
            std::vector<std::int32_t> expected;
            for (double v : written_[ch])
                expected.push_back(std::int32_t(std::min(std::nearbyint(double(float(v)) * 0x1p31), 2147483647.0)));
            EXPECT_EQ(got, expected) << "channel " << ch;
        } else {
            EXPECT_EQ(got, test::storedInts(written_[ch], c.encoding)) << "channel " << ch;
        }
    }
}

TEST_P(SndfileReaderTest, SeekThenReadMatchesReadingThrough) {
    auto reader = openAudioFile(path_);
    const Channels through = readThrough(*reader, 65'536);
    PCMBuffer buffer(reader->channelCount(), 50'000);
    for (std::int64_t start : {std::int64_t(0), std::int64_t(1), std::int64_t(43'689), std::int64_t(77'777),
                               reader->length() - 1}) {
        reader->seek(start);
        reader->read(buffer, 50'000);
        const std::int64_t expected = std::min<std::int64_t>(50'000, reader->length() - start);
        ASSERT_EQ(buffer.frameLength(), std::uint32_t(expected)) << "from " << start;
        EXPECT_EQ(reader->position(), start + expected);
        for (int c = 0; c < reader->channelCount(); ++c)
            for (std::int64_t i = 0; i < expected; ++i)
                ASSERT_EQ(buffer.channel(c)[i], float(through[c][start + i])) << "from " << start << " at " << i;
    }
    reader->seek(reader->length() + 10);
    reader->read(buffer, 100);
    EXPECT_EQ(buffer.frameLength(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Formats, SndfileReaderTest, testing::ValuesIn(allCases()), caseName);

TEST(SndfileReaderMisuseTest, RefusesANegativeSeekAndANarrowBuffer) {
    test::TempDir dir;
    test::writePcm(dir / "a.wav", {}, test::stereo(test::StereoKind::trueStereo, 100, PcmEncoding::int16));
    auto reader = openSndfileFile(dir / "a.wav");
    EXPECT_THROW(reader->seek(-1), AudioIOError);
    PCMBuffer mono(1, 100);
    EXPECT_THROW(reader->read(mono, 100), AudioIOError);
    EXPECT_EQ(reader->position(), 0);
    PCMBuffer zero(2, 0);
    reader->read(zero, 100);
    EXPECT_EQ(zero.frameLength(), 0u);
}

// Other containers that store plain PCM take the same fast path.
TEST(SndfileReaderFormatTest, ReadsW64AndCafLikeLibsndfile) {
    test::TempDir dir;
    const std::vector<int> formats = {SF_FORMAT_W64 | SF_FORMAT_PCM_24, SF_FORMAT_CAF | SF_FORMAT_PCM_24,
                                      SF_FORMAT_CAF | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE,
                                      SF_FORMAT_CAF | SF_FORMAT_FLOAT};
    const Channels written = test::stereo(test::StereoKind::trueStereo, 5000, PcmEncoding::int16);
    std::vector<int> interleaved;
    for (std::size_t i = 0; i < 5000; ++i)
        for (int c = 0; c < 2; ++c) interleaved.push_back(test::storedInt(written[c][i], PcmEncoding::int16));
    for (int format : formats) {
        const auto path = dir / ("f" + std::to_string(format));
        SF_INFO info{};
        info.samplerate = 48000;
        info.channels = 2;
        info.format = format;
        SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
        ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
        sf_writef_int(file, interleaved.data(), 5000);
        sf_close(file);

        auto reader = openAudioFile(path);
        const Channels read = readThrough(*reader, 999);
        const auto oracle = test::readFloats(path);
        for (int c = 0; c < 2; ++c)
            EXPECT_EQ(read[c], Signal(oracle[c].begin(), oracle[c].end())) << std::hex << format;
    }
}

// Encodings libsndfile decodes that are not linear PCM keep their own code,
// so nothing treats them as lossless integers.
TEST(SndfileReaderFormatTest, ULawIsNotLinearPcm) {
    test::TempDir dir;
    const auto path = dir / "phone.wav";
    SF_INFO info{};
    info.samplerate = 8000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_ULAW;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    std::vector<short> samples = {0, 1000, -1000, 32767, -32768};
    sf_write_short(file, samples.data(), sf_count_t(samples.size()));
    sf_close(file);

    auto reader = openAudioFile(path);
    EXPECT_EQ(reader->fileFormat().formatID, fourCC("ulaw"));
    EXPECT_EQ(reader->fileFormat().commonFormat, CommonFormat::other);
    EXPECT_EQ(reader->length(), 5);
    PCMBuffer floats(1, 5);
    reader->read(floats, 5);
    IntPCMBuffer ints(1, 5);
    reader->seek(0);
    reader->readInt(ints, 5);
    const auto oracle = test::readFloats(path)[0];
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(floats.channel(0)[i], oracle[i]);
        EXPECT_EQ(ints.channel(0)[i], test::readStoredInts(path)[0][i]);
    }
}

TEST(SndfileReaderMisuseTest, ReadsAZeroLengthFile) {
    test::TempDir dir;
    for (auto container : {PcmContainer::wav, PcmContainer::aiff}) {
        const auto path = dir / (container == PcmContainer::wav ? "empty.wav" : "empty.aif");
        test::writePcm(path, {container, PcmEncoding::int24}, Channels(2));
        auto reader = openAudioFile(path);
        EXPECT_EQ(reader->length(), 0);
        PCMBuffer buffer(2, 10);
        reader->read(buffer, 10);
        EXPECT_EQ(buffer.frameLength(), 0u);
    }
}

// ---- 8-bit mono AIFF whose two length fields disagree -------------------------------
// Some writers count the pad byte after odd-length sound data in the SSND
// size, which libsndfile then reads as one more frame than COMM declares.

struct DeclaredLength {
    std::string name;
    std::uint32_t written;     // frames libsndfile writes, followed by a zero pad byte when odd
    double last;               // the last frame written
    std::uint32_t commFrames;  // then COMM declares this many frames
    std::uint32_t ssndBytes;   // and SSND this many sound bytes
    std::int64_t expected;
};

void PrintTo(const DeclaredLength& c, std::ostream* os) { *os << c.name; }

void setBigEndian32(std::vector<std::uint8_t>& bytes, const std::string& chunk, std::size_t field, std::uint32_t value) {
    const auto at = std::search(bytes.begin(), bytes.end(), chunk.begin(), chunk.end()) - bytes.begin();
    ASSERT_LT(std::size_t(at) + field + 4, bytes.size()) << chunk;
    for (int i = 0; i < 4; ++i) bytes[at + field + i] = std::uint8_t(value >> (24 - 8 * i));
}

class DeclaredLengthTest : public testing::TestWithParam<DeclaredLength> {};

TEST_P(DeclaredLengthTest, ReadsOnlyTheFramesRecorded) {
    const DeclaredLength& c = GetParam();
    test::TempDir dir;
    const auto path = dir / "declared.aif";
    Signal written = test::noise(c.written, PcmEncoding::int8, 8, 1.0);
    written.back() = c.last;
    test::writePcm(path, {PcmContainer::aiff, PcmEncoding::int8}, {written});
    auto bytes = test::fileBytes(path);
    setBigEndian32(bytes, "COMM", 10, c.commFrames);
    setBigEndian32(bytes, "SSND", 4, 8 + c.ssndBytes);
    test::overwriteFileBytes(path, bytes);

    auto reader = openAudioFile(path);
    EXPECT_EQ(reader->length(), c.expected);
    const Channels read = readThrough(*reader, 300);
    written.resize(std::size_t(c.expected));
    EXPECT_EQ(read[0], asFloats({written})[0]);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, DeclaredLengthTest,
    testing::Values(
        // The byte beyond COMM's count is the zero pad: not a frame.
        DeclaredLength{"padCountedInSsnd", 1001, -0.5, 1001, 1002, 1001},
        // A nonzero byte there is audio that COMM misses; keep it.
        DeclaredLength{"oneByteMoreThatIsAudio", 1002, -0.5, 1001, 1002, 1002},
        // A recording that stopped before its header was finished.
        DeclaredLength{"commNeverUpdated", 1000, -0.5, 0, 1000, 1000},
        // A consistent file ending in silence loses nothing.
        DeclaredLength{"evenLengthEndingInSilence", 1002, 0.0, 1002, 1002, 1002}),
    [](const auto& info) { return info.param.name; });

// A file whose audio chunk declares more bytes than the file holds must
// report only the frames present, and reading must deliver exactly those.
class TruncatedFileTest : public testing::TestWithParam<std::tuple<PcmContainer, PcmEncoding>> {};

TEST_P(TruncatedFileTest, ReportsTheFramesActuallyPresent) {
    const auto [container, encoding] = GetParam();
    test::TempDir dir;
    const auto path = dir / "cut.audio";
    const Channels written = test::stereo(test::StereoKind::trueStereo, 1000, encoding);
    test::writePcm(path, {container, encoding}, written);
    const auto fullSize = std::filesystem::file_size(path);
    const std::size_t frameBytes = 2 * std::size_t(test::bitsOf(encoding) / 8);

    // Cut within the last frame, a few frames in, and half the audio away.
    for (std::size_t cut : {std::size_t(1), frameBytes * 3 + 1, frameBytes * 500}) {
        std::filesystem::resize_file(path, fullSize - cut);
        const std::int64_t present = 1000 - std::int64_t((cut + frameBytes - 1) / frameBytes);
        auto reader = openAudioFile(path);
        EXPECT_EQ(reader->length(), present) << "cut " << cut;
        const Channels read = readThrough(*reader, 300);
        ASSERT_EQ(std::int64_t(read[0].size()), reader->length()) << "cut " << cut;
        for (int c = 0; c < 2; ++c)
            for (std::int64_t i = 0; i < present; ++i) ASSERT_EQ(read[c][i], float(written[c][i]));
    }
}

TEST_P(TruncatedFileTest, FailsCleanlyWhenTheHeaderIsCut) {
    const auto [container, encoding] = GetParam();
    test::TempDir dir;
    const auto path = dir / "header.audio";
    test::writePcm(path, {container, encoding}, test::stereo(test::StereoKind::trueStereo, 1000, encoding));
    std::filesystem::resize_file(path, 20);
    EXPECT_THROW(openAudioFile(path), AudioIOError);
}

INSTANTIATE_TEST_SUITE_P(Containers, TruncatedFileTest,
                         testing::Combine(testing::Values(PcmContainer::wav, PcmContainer::aiff, PcmContainer::rf64),
                                          testing::Values(PcmEncoding::int16, PcmEncoding::int24,
                                                          PcmEncoding::float32)));

}  // namespace
}  // namespace twinfold
