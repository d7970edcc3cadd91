#pragma once

#include <cstdint>
#include <vector>

namespace twinfold {

// A planar (one contiguous run per channel) sample buffer with a fixed
// capacity and a frame length set by the last read.
template <typename Sample>
class PlanarBuffer {
public:
    PlanarBuffer() = default;
    PlanarBuffer(int channelCount, std::uint32_t capacity)
        : channels_(channelCount), capacity_(capacity), data_(std::size_t(channelCount) * capacity) {}

    int channelCount() const { return channels_; }
    std::uint32_t capacity() const { return capacity_; }
    std::uint32_t frameLength() const { return frameLength_; }
    void setFrameLength(std::uint32_t n) { frameLength_ = n <= capacity_ ? n : capacity_; }

    Sample* channel(int c) { return data_.data() + std::size_t(c) * capacity_; }
    const Sample* channel(int c) const { return data_.data() + std::size_t(c) * capacity_; }

    // Re-shapes the buffer, reusing its storage when large enough.
    void reset(int channelCount, std::uint32_t capacity) {
        channels_ = channelCount;
        capacity_ = capacity;
        frameLength_ = 0;
        data_.resize(std::size_t(channelCount) * capacity);
    }

private:
    int channels_ = 0;
    std::uint32_t capacity_ = 0;
    std::uint32_t frameLength_ = 0;
    std::vector<Sample> data_;
};

// Float samples, full scale ±1.0.
using PCMBuffer = PlanarBuffer<float>;
// Integer samples left-justified in 32 bits (full scale ±2^31), so 16-, 24-
// and 32-bit PCM pass through unchanged.
using IntPCMBuffer = PlanarBuffer<std::int32_t>;

}  // namespace twinfold
