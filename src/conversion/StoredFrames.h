#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace twinfold {

// Interleaved frames as a file stores them: `sampleBytes` bytes per sample,
// never decoded. Shaped like the planar buffers (reset, capacity, frame
// length) so the chunk loop reads into it the same way.
class StoredFrames {
public:
    explicit StoredFrames(std::size_t sampleBytes = 0) : sampleBytes_(sampleBytes) {}

    int channelCount() const { return channels_; }
    std::size_t sampleBytes() const { return sampleBytes_; }
    std::size_t bytesPerFrame() const { return sampleBytes_ * std::size_t(channels_); }
    std::uint32_t capacity() const { return capacity_; }
    std::uint32_t frameLength() const { return frameLength_; }
    void setFrameLength(std::uint32_t n) { frameLength_ = n <= capacity_ ? n : capacity_; }

    std::uint8_t* data() { return bytes_.data(); }
    const std::uint8_t* data() const { return bytes_.data(); }

    // Re-shapes the buffer, reusing its storage when large enough.
    void reset(int channelCount, std::uint32_t capacity);

    // The first `frames` frames of `source` cut down to its channels
    // `channels`, in that order; this buffer's channel count must be theirs.
    void pick(const StoredFrames& source, const std::vector<int>& channels, std::uint32_t frames);

private:
    std::size_t sampleBytes_;
    int channels_ = 0;
    std::uint32_t capacity_ = 0;
    std::uint32_t frameLength_ = 0;
    std::vector<std::uint8_t> bytes_;
};

}  // namespace twinfold
