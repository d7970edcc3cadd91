#pragma once

// A reader over samples held in memory, for code that only needs samples:
// no file and no decoder. It reports 16-bit integer PCM at 48 kHz. It may
// stand for a file longer than its samples (past them the buffer is left as
// it is, so lengths past 2^32 frames cost nothing) and for a file that stops
// delivering before its declared length, as one cut short while it is read.

#include "audio_io/AudioFileReader.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace twinfold::test {

class MemoryReader : public AudioFileReader {
public:
    using Samples = std::vector<std::vector<float>>;

    // `samples` planar at full scale ±1.0; by default as long as they are.
    explicit MemoryReader(Samples samples, std::int64_t length = -1, std::int64_t deliverable = -1)
        : samples_(std::move(samples)),
          length_(length >= 0 ? length : std::int64_t(samples_.at(0).size())),
          deliverable_(deliverable >= 0 ? deliverable : length_) {
        format_ = {.sampleRate = 48000,
                   .channelCount = int(samples_.size()),
                   .commonFormat = CommonFormat::int16,
                   .formatID = kFormatLinearPCM,
                   .bitsPerChannel = 16};
    }
    // `channels` channels that hold no samples at all.
    MemoryReader(int channels, std::int64_t length, std::int64_t deliverable = -1)
        : MemoryReader(Samples(std::size_t(channels)), length, deliverable) {}

    const AudioFormatInfo& fileFormat() const override { return format_; }
    std::int64_t length() const override { return length_; }
    std::int64_t position() const override { return position_; }
    void seek(std::int64_t frame) override { position_ = frame; }
    void read(PCMBuffer& buffer, std::uint32_t frames) override {
        fill(buffer, frames, [](float x) { return x; });
    }
    void readInt(IntPCMBuffer& buffer, std::uint32_t frames) override {
        fill(buffer, frames, [](float x) { return std::int32_t(std::clamp(double(x) * 0x1p31, -0x1p31, 0x1p31 - 1)); });
    }

private:
    template <typename Buffer, typename Convert>
    void fill(Buffer& buffer, std::uint32_t frames, Convert convert) {
        const auto n = std::clamp<std::int64_t>(deliverable_ - position_, 0, std::min(frames, buffer.capacity()));
        for (std::size_t c = 0; c < samples_.size(); ++c) {
            const auto stored = std::int64_t(samples_[c].size());
            for (std::int64_t i = position_; i < std::min(position_ + n, stored); ++i)
                buffer.channel(int(c))[i - position_] = convert(samples_[c][std::size_t(i)]);
        }
        buffer.setFrameLength(std::uint32_t(n));
        position_ += n;
    }

    Samples samples_;
    AudioFormatInfo format_;
    std::int64_t length_, deliverable_, position_ = 0;
};

}  // namespace twinfold::test
