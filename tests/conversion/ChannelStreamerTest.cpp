// The shared chunk loop with stand-in files, for what real files cannot show
// cheaply: lengths past 2^32 frames, wide files, readers that stop early.
#include "conversion/ChannelStreamer.h"

#include "conversion/ConverterFixture.h"
#include "support/MemoryReader.h"

#include <numeric>

namespace twinfold::test {
namespace {

// Counts what it is given.
class CountingWriter : public AudioFileWriter {
public:
    void write(const PCMBuffer& buffer) override { add(buffer.frameLength()); }
    void writeDouble(const PlanarBuffer<double>& buffer) override { add(buffer.frameLength()); }
    void writeInt(const IntPCMBuffer& buffer) override { add(buffer.frameLength()); }
    void close() override {}
    std::int64_t framesWritten() const override { return frames_; }

    std::uint32_t largestChunk = 0;

private:
    void add(std::uint32_t frames) {
        frames_ += frames;
        largestChunk = std::max(largestChunk, frames);
    }

    std::int64_t frames_ = 0;
};

// The cancel check runs before every chunk and once more after the last, to
// catch a cancel made while it was being written.
TEST(ChannelStreamerTest, LengthsPastTheThirtyTwoBitRangeAreStreamedWhole) {
    const std::int64_t length = (std::int64_t(1) << 32) + 5;
    MemoryReader reader(1, length, length);
    CountingWriter writer;
    std::int64_t checks = 0;
    StreamHooks hooks{.blockFrames = 1'000'000, .checkCancelled = [&] { ++checks; }};
    streamChannels(reader, {{&writer, {0}, std::nullopt}}, hooks);
    EXPECT_EQ(writer.framesWritten(), length);
    EXPECT_EQ(reader.position(), length);
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

}  // namespace
}  // namespace twinfold::test
