// The shared chunk loop with stand-in files, for what real files cannot show
// cheaply: lengths past 2^32 frames, readers that stop early, writers that fail.
#include "conversion/ChannelStreamer.h"

#include "audio_io/AudioIOError.h"
#include "conversion/ConverterFixture.h"
#include "support/MemoryReader.h"

#include <atomic>
#include <limits>
#include <numeric>

namespace twinfold {
namespace {

using test::failureOf;
using test::MemoryReader;
using Case = ConversionError::Case;

// Counts what it is given; fails like a full disk once `failAfter` frames are written.
class CountingWriter : public AudioFileWriter {
public:
    explicit CountingWriter(std::int64_t failAfter = std::numeric_limits<std::int64_t>::max())
        : failAfter_(failAfter) {}
    void write(const PCMBuffer& buffer) override { add(buffer.frameLength()); }
    void writeDouble(const PlanarBuffer<double>& buffer) override { add(buffer.frameLength()); }
    void writeInt(const IntPCMBuffer& buffer) override { add(buffer.frameLength()); }
    void close() override {}
    std::int64_t framesWritten() const override { return frames_; }

    std::uint32_t largestChunk = 0;

private:
    void add(std::uint32_t frames) {
        if (frames_ >= failAfter_) throw AudioIOError("No space left on device");
        frames_ += frames;
        largestChunk = std::max(largestChunk, frames);
    }

    std::int64_t failAfter_, frames_ = 0;
};

// The cancel check runs before every chunk and once more after the last, to
// catch a cancel made while it was being written.
TEST(ChannelStreamerTest, LengthsPastTheThirtyTwoBitRangeAreStreamedWhole) {
    const std::int64_t length = (std::int64_t(1) << 32) + 5;
    MemoryReader reader(1, length, length);
    CountingWriter writer;
    double last = 0;
    std::int64_t checks = 0;
    StreamHooks hooks{
        .blockFrames = 1'000'000, .checkCancelled = [&] { ++checks; }, .afterChunk = [&](double f) { last = f; }};
    streamChannels(reader, {{&writer, {0}, std::nullopt}}, hooks);
    EXPECT_EQ(writer.framesWritten(), length);
    EXPECT_EQ(reader.position(), length);
    EXPECT_EQ(last, 1.0);
    EXPECT_EQ(checks, (length + 999'999) / 1'000'000 + 1);
}

TEST(ChannelStreamerTest, WideFilesUseShorterChunksToStayWithinTheMemoryBudget) {
    MemoryReader reader(64, 3'000'000, 3'000'000);
    CountingWriter writer;
    std::vector<int> all(64);
    std::iota(all.begin(), all.end(), 0);
    streamChannels(reader, {{&writer, all, std::nullopt}}, StreamHooks{});
    EXPECT_EQ(writer.framesWritten(), 3'000'000);
    EXPECT_LE(std::size_t(writer.largestChunk) * (64 + 64) * 4, std::size_t(48) << 20);
}

// Chunks of 1000 frames, so that short files are read in two halves.
StreamHooks smallChunks(std::function<void()> checkCancelled = {}) {
    return StreamHooks{.blockFrames = 1000, .checkCancelled = std::move(checkCancelled)};
}

// An output that is silently short would pass for complete.
TEST(ChannelStreamerTest, AReaderThatStopsEarlyIsAReadError) {
    MemoryReader reader(2, 3'000'000, 1'500'000);
    CountingWriter writer;
    EXPECT_EQ(failureOf([&] {
                  streamChannels(reader, {{&writer, {1}, std::nullopt}}, StreamHooks{});
              }),
              Case::readError);
    MemoryReader firstHalf(2, 10'000, 10'000);
    auto shortSecondHalf = [] { return std::make_unique<MemoryReader>(2, 10'000, 7'000); };
    EXPECT_EQ(failureOf([&] { measurePeaks(firstHalf, {0}, smallChunks(), shortSecondHalf); }), Case::readError);
}

TEST(ChannelStreamerTest, WriterFailurePassesThroughUnchanged) {
    for (std::optional<float> gain : {std::optional<float>(), std::optional(0.5f)}) {  // integer and float paths
        MemoryReader reader(2, 5'000'000, 5'000'000);
        CountingWriter left, right(2'000'000);
        std::vector<ChannelRoute> routes{{&left, {0}, std::nullopt}, {&right, {1}, gain, 16}};
        EXPECT_THROW(streamChannels(reader, routes, StreamHooks{}), AudioIOError);
        EXPECT_LT(left.framesWritten(), 5'000'000);
    }
}

// ---- stored bytes copied as they are ----------------------------------------

// A file's reader with its stored bytes shown, and their reads counted, or
// hidden, so that the stream decodes and encodes as for any other format.
class StoredBytesSwitch : public AudioFileReader {
public:
    StoredBytesSwitch(const std::filesystem::path& path, bool shown) : reader_(openAudioFile(path)), shown_(shown) {}
    const AudioFormatInfo& fileFormat() const override { return reader_->fileFormat(); }
    std::int64_t length() const override { return reader_->length(); }
    std::int64_t position() const override { return reader_->position(); }
    void seek(std::int64_t frame) override { reader_->seek(frame); }
    void read(PCMBuffer& buffer, std::uint32_t frames) override { reader_->read(buffer, frames); }
    void readInt(IntPCMBuffer& buffer, std::uint32_t frames) override { reader_->readInt(buffer, frames); }
    void readDouble(PlanarBuffer<double>& buffer, std::uint32_t frames) override {
        reader_->readDouble(buffer, frames);
    }
    std::optional<StoredSampleFormat> storedSamples() const override {
        return shown_ ? reader_->storedSamples() : std::nullopt;
    }
    std::uint32_t readStored(std::uint8_t* bytes, std::uint32_t frames) override {
        ++storedReads;
        return reader_->readStored(bytes, frames);
    }

    int storedReads = 0;

private:
    std::unique_ptr<AudioFileReader> reader_;
    bool shown_;
};

using enum test::PcmContainer;
using enum test::PcmEncoding;

struct StoredCopyCase {
    std::string name;
    test::PcmFormat source;
    int channels;
    std::vector<std::vector<int>> outputs;  // each output's source channels
    double gain = 1.0;                      // 2 takes a float source beyond full scale: its outputs stay float
    bool copiedAsStored = true;
};

void PrintTo(const StoredCopyCase& c, std::ostream* os) { *os << c.name; }

class StoredCopyTest : public test::ConverterFixture, public ::testing::WithParamInterface<StoredCopyCase> {
protected:
    // The outputs' bytes, whole files, as the stream writes them with the
    // source's stored bytes shown or hidden.
    std::vector<test::Bytes> outputsOf(const std::filesystem::path& source, bool shown, int& storedReads) {
        const StoredCopyCase& c = GetParam();
        StoredBytesSwitch reader(source, shown);
        std::vector<std::unique_ptr<AudioFileWriter>> writers;
        std::vector<std::filesystem::path> paths;
        std::vector<ChannelRoute> routes;
        for (const auto& channels : c.outputs) {
            WriterSettings settings = converter.outputSettings(source, reader.fileFormat(), int(channels.size()));
            settings.isFloat = c.gain > 1.0;
            if (settings.isFloat) settings.bitDepth = test::bitsOf(c.source.encoding);
            paths.push_back(dir /
                            (std::to_string(shown) + "-" + std::to_string(paths.size()) + source.extension().string()));
            writers.push_back(createAudioFile(paths.back(), settings));
            routes.push_back({writers.back().get(), channels, std::nullopt, settings.bitDepth, settings.isFloat});
        }
        streamChannels(reader, routes, StreamHooks{.blockFrames = 1000});
        std::vector<test::Bytes> outputs;
        for (std::size_t k = 0; k < writers.size(); ++k) {
            writers[k]->close();
            outputs.push_back(test::fileBytes(paths[k]));
        }
        storedReads = reader.storedReads;
        return outputs;
    }
};

// Picking the stored bytes must write exactly the files that decoding and
// encoding write, header and all; formats that cannot be picked are decoded.
// Float outputs are among them: their header holds a peak measured from the
// samples written.
TEST_P(StoredCopyTest, WritesTheFilesDecodingWrites) {
    const StoredCopyCase& c = GetParam();
    const std::size_t frames = 2501;  // odd: an 8-bit mono AIFF needs a pad byte
    test::Channels samples;
    for (int channel = 0; channel < c.channels; ++channel) {
        samples.push_back(test::fullRange(frames, c.source.encoding, std::uint32_t(channel + 1)));
        for (double& s : samples.back()) s = test::quantize(s * c.gain, c.source.encoding);
    }
    const auto source = dir / (c.source.container == wav || c.source.container == rf64 ? "source.wav" : "source.aif");
    test::writePcm(source, c.source, samples);

    int pickedReads = 0, decodedReads = 0;
    const auto picked = outputsOf(source, true, pickedReads);
    const auto decoded = outputsOf(source, false, decodedReads);
    EXPECT_EQ(pickedReads > 0, c.copiedAsStored);
    EXPECT_EQ(decodedReads, 0);
    ASSERT_EQ(picked.size(), decoded.size());
    for (std::size_t k = 0; k < picked.size(); ++k) EXPECT_TRUE(picked[k] == decoded[k]) << "output " << k;
}

INSTANTIATE_TEST_SUITE_P(Formats, StoredCopyTest,
                         ::testing::Values(StoredCopyCase{"wav8Unsigned", {wav, int8}, 2, {{1}}},
                                           StoredCopyCase{"wav16", {wav, int16}, 2, {{0}}},
                                           StoredCopyCase{"wav24", {wav, int24}, 2, {{1}}},
                                           StoredCopyCase{"wav32", {wav, int32}, 2, {{0}}},
                                           StoredCopyCase{"rf64_24", {rf64, int24}, 2, {{1}}},
                                           StoredCopyCase{"aiff8", {aiff, int8}, 2, {{1}}},
                                           StoredCopyCase{"aiff16", {aiff, int16}, 2, {{0}}},
                                           StoredCopyCase{"aiff24", {aiff, int24}, 2, {{1}}},
                                           StoredCopyCase{"aifcLittleEndian", {aifc, int16}, 2, {{1}}, 1.0, false},
                                           StoredCopyCase{"float32InRange", {wav, float32}, 2, {{1}}, 1.0, false},
                                           StoredCopyCase{"float32Beyond", {wav, float32}, 2, {{1}}, 2.0, false},
                                           StoredCopyCase{"aiffFloat32Beyond", {aiff, float32}, 2, {{1}}, 2.0, false},
                                           StoredCopyCase{"sixKeepFour", {wav, int24}, 6, {{0, 1, 2, 4}}},
                                           StoredCopyCase{"sixReorderedWithARepeat", {wav, int8}, 6, {{5, 3, 4, 3}}},
                                           StoredCopyCase{"sixSplit", {wav, int16}, 6, {{0}, {1}, {2}, {3}, {4}, {5}}}),
                         [](const auto& info) { return info.param.name; });

// ---- the peak pass in two halves ----------------------------------------------

TEST(PeakPassTest, HalvesFindEachChannelsPeakWhereverItLies) {
    const std::size_t frames = 10'001;
    // Peaks on either side of the split and in the very last frame.
    MemoryReader::Samples channels(3, std::vector<float>(frames, 0x1p-23f));
    channels[0][frames / 2 - 1] = -0.25f;
    channels[1][frames / 2] = 0.75f;
    channels[2][frames - 1] = -0.5f;
    int opened = 0;
    MemoryReader reader(channels);
    const auto peaks = measurePeaks(reader, {2, 0, 1}, smallChunks(), [&] {
        ++opened;
        return std::make_unique<MemoryReader>(channels);
    });
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(peaks, (std::vector<float>{0.5f, 0.25f, 0.75f}));
}

TEST(PeakPassTest, ACancelStopsBothHalves) {
    MemoryReader reader(2, 1'000'000, 1'000'000);
    std::atomic<int> checks = 0;
    auto cancelSoon = [&] {
        if (++checks > 10) throw ConversionError(Case::cancelled);
    };
    auto second = [] { return std::make_unique<MemoryReader>(2, 1'000'000, 1'000'000); };
    EXPECT_EQ(failureOf([&] { measurePeaks(reader, {0}, smallChunks(cancelSoon), second); }), Case::cancelled);
    EXPECT_LT(checks, 20);  // each half stops at its next chunk
}

}  // namespace
}  // namespace twinfold
