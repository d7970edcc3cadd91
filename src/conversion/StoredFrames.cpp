#include "conversion/StoredFrames.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace twinfold {

namespace {

// With the width known at compile time a sample is one or two moves. A kept
// channel of a stereo file is the common case and gets its own loop.
template <std::size_t Width>
void pickSamples(const std::uint8_t* in, std::size_t inChannels, const std::vector<int>& channels, std::size_t frames,
                 std::uint8_t* out) {
    const std::size_t inStride = inChannels * Width, count = channels.size(), outStride = count * Width;
    if (count == 1) {
        const std::uint8_t* from = in + std::size_t(channels[0]) * Width;
        for (std::size_t i = 0; i < frames; ++i) std::memcpy(out + i * Width, from + i * inStride, Width);
        return;
    }
    std::vector<std::size_t> offsets;
    for (int channel : channels) offsets.push_back(std::size_t(channel) * Width);
    const std::size_t* offset = offsets.data();
    // Several channels a frame: each sample is moved as one 8-byte word,
    // half as many moves as a 3-byte sample takes. A word runs on past its
    // sample onto bytes that the frame's next samples, or the next frame's,
    // overwrite after it; only the last frames, whose words would leave the
    // buffers, are moved byte-exact.
    constexpr std::size_t kExactFrames = 8;
    const std::size_t words = frames > kExactFrames ? frames - kExactFrames : 0;
    for (std::size_t i = 0; i < words; ++i) {
        const std::uint8_t* frame = in + i * inStride;
        std::uint8_t* target = out + i * outStride;
        for (std::size_t k = 0; k < count; ++k) std::memcpy(target + k * Width, frame + offset[k], 8);
    }
    for (std::size_t i = words; i < frames; ++i) {
        for (std::size_t k = 0; k < count; ++k)
            std::memcpy(out + i * outStride + k * Width, in + i * inStride + offset[k], Width);
    }
}

}  // namespace

void StoredFrames::reset(int channelCount, std::uint32_t capacity) {
    channels_ = channelCount;
    capacity_ = capacity;
    frameLength_ = 0;
    bytes_.resize(bytesPerFrame() * capacity);
}

void StoredFrames::pick(const StoredFrames& source, const std::vector<int>& channels, std::uint32_t frames) {
    if (source.sampleBytes_ != sampleBytes_ || std::size_t(channels_) != channels.size() || frames > capacity_ ||
        frames > source.frameLength_)
        throw std::invalid_argument("stored frames are picked into a buffer of their width and channels");
    if (std::any_of(channels.begin(), channels.end(), [&](int c) { return c < 0 || c >= source.channels_; }))
        throw std::invalid_argument("no such source channel");
    const std::uint8_t* in = source.data();
    const auto inChannels = std::size_t(source.channels_);
    switch (sampleBytes_) {
    case 1: pickSamples<1>(in, inChannels, channels, frames, data()); break;
    case 2: pickSamples<2>(in, inChannels, channels, frames, data()); break;
    case 3: pickSamples<3>(in, inChannels, channels, frames, data()); break;
    case 4: pickSamples<4>(in, inChannels, channels, frames, data()); break;
    case 8: pickSamples<8>(in, inChannels, channels, frames, data()); break;
    default: throw std::invalid_argument("stored samples are 1, 2, 3, 4 or 8 bytes wide");
    }
    frameLength_ = frames;
}

}  // namespace twinfold
