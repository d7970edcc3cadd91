// The shared chunk loop with stand-in files, for what real files cannot show
// cheaply: lengths past 2^32 frames, readers that stop early, writers that fail.
#include "conversion/ChannelStreamer.h"

#include "audio_io/AudioIOError.h"
#include "conversion/ConversionError.h"

#include <gtest/gtest.h>

#include <limits>
#include <numeric>
#include <stdexcept>

namespace twinfold {
namespace {

// A 16-bit integer source of `length` frames whose samples are never looked at.
class EndlessReader : public AudioFileReader {
public:
    EndlessReader(std::int64_t length, int channels, std::int64_t deliverable)
        : length_(length), deliverable_(deliverable) {
        format_ = {.sampleRate = 48000, .channelCount = channels, .commonFormat = CommonFormat::int16,
                   .formatID = kFormatLinearPCM, .bitsPerChannel = 16};
    }
    const AudioFormatInfo& fileFormat() const override { return format_; }
    std::int64_t length() const override { return length_; }
    std::int64_t position() const override { return position_; }
    void seek(std::int64_t frame) override { position_ = frame; }
    void read(PCMBuffer& buffer, std::uint32_t frames) override { buffer.setFrameLength(advance(frames)); }
    void readInt(IntPCMBuffer& buffer, std::uint32_t frames) override {
        buffer.setFrameLength(advance(frames));
        buffer.channel(0)[0] = std::int32_t(position_);  // marks the chunk for the writer
    }

private:
    std::uint32_t advance(std::uint32_t frames) {
        const auto n = std::uint32_t(std::clamp<std::int64_t>(deliverable_ - position_, 0, frames));
        position_ += n;
        return n;
    }

    AudioFormatInfo format_;
    std::int64_t length_, deliverable_, position_ = 0;
};

class CountingWriter : public AudioFileWriter {
public:
    explicit CountingWriter(std::int64_t failAfter = std::numeric_limits<std::int64_t>::max())
        : failAfter_(failAfter) {}
    void write(const PCMBuffer& buffer) override { add(buffer.frameLength()); }
    void writeInt(const IntPCMBuffer& buffer) override {
        add(buffer.frameLength());
        lastMark = buffer.channel(0)[0];
    }
    void close() override {}
    std::int64_t framesWritten() const override { return frames_; }
    std::int32_t lastMark = 0;

private:
    void add(std::uint32_t frames) {
        if (frames_ >= failAfter_) throw AudioIOError("No space left on device");
        frames_ += frames;
        largestChunk = std::max(largestChunk, frames);
    }

public:
    std::uint32_t largestChunk = 0;

private:
    std::int64_t failAfter_, frames_ = 0;
};

TEST(ChannelStreamerTest, LengthsPastTheThirtyTwoBitRangeAreStreamedWhole) {
    const std::int64_t length = (std::int64_t(1) << 32) + 5;
    EndlessReader reader(length, 1, length);
    CountingWriter writer;
    double last = 0;
    StreamHooks hooks{.chunkFrames = 1'000'000, .afterChunk = [&](double f) { last = f; }};
    streamChannels(reader, {{&writer, {0}, std::nullopt}}, hooks);
    EXPECT_EQ(writer.framesWritten(), length);
    EXPECT_EQ(writer.lastMark, std::int32_t(length));  // the final chunk arrived last
    EXPECT_EQ(last, 1.0);
}

TEST(ChannelStreamerTest, WideFilesUseShorterChunksToStayWithinTheMemoryBudget) {
    EndlessReader reader(3'000'000, 64, 3'000'000);
    CountingWriter writer;
    std::vector<int> all(64);
    std::iota(all.begin(), all.end(), 0);
    streamChannels(reader, {{&writer, all, std::nullopt}}, StreamHooks{});
    EXPECT_EQ(writer.framesWritten(), 3'000'000);
    EXPECT_LE(std::size_t(writer.largestChunk) * (64 + 64) * 4, std::size_t(48) << 20);
}

TEST(ChannelStreamerTest, ReaderThatStopsEarlyIsAReadError) {
    EndlessReader reader(3'000'000, 2, 1'500'000);
    CountingWriter writer;
    try {
        streamChannels(reader, {{&writer, {1}, std::nullopt}}, StreamHooks{});
        FAIL() << "a short output passed for complete";
    } catch (const ConversionError& error) {
        EXPECT_EQ(error.errorCase(), ConversionError::Case::readError);
    }
}

TEST(ChannelStreamerTest, WriterFailurePassesThroughUnchanged) {
    for (std::optional<float> gain : {std::optional<float>(), std::optional(0.5f)}) {  // integer and float paths
        EndlessReader reader(5'000'000, 2, 5'000'000);
        CountingWriter left, right(2'000'000);
        std::vector<ChannelRoute> routes{{&left, {0}, std::nullopt}, {&right, {1}, gain, 16}};
        EXPECT_THROW(streamChannels(reader, routes, StreamHooks{}), AudioIOError);
        EXPECT_LT(left.framesWritten(), 5'000'000);
    }
}

TEST(ChannelStreamerTest, RoundedSamplesNeedTheWritersDepth) {
    EndlessReader reader(1000, 2, 1000);
    CountingWriter writer;
    // Without it a scaled route would be rounded to the wrong grid; copies need none.
    EXPECT_THROW(streamChannels(reader, {{&writer, {1}, 0.5f}}, StreamHooks{}), std::invalid_argument);
    EXPECT_NO_THROW(streamChannels(reader, {{&writer, {1}, std::nullopt}}, StreamHooks{}));
    EXPECT_EQ(writer.framesWritten(), 1000);
}

TEST(ChannelStreamerTest, CancelCheckedBeforeEveryChunkAndAtTheEnd) {
    EndlessReader reader(2'500'000, 1, 2'500'000);
    CountingWriter writer;
    int checks = 0;
    StreamHooks hooks{.checkCancelled = [&] { ++checks; }};
    streamChannels(reader, {{&writer, {0}, std::nullopt}}, hooks);
    EXPECT_EQ(checks, 4);
}

}  // namespace
}  // namespace twinfold
