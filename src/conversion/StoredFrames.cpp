#include "conversion/StoredFrames.h"

#include <cstring>
#include <stdexcept>

namespace twinfold {

namespace {

// With the width known at compile time each sample is one or two moves; a
// kept channel of a stereo file is the common case and gets its own loop.
template <std::size_t Width>
void pickSamples(const std::uint8_t* in, std::size_t inChannels, const std::vector<int>& channels,
                 std::size_t frames, std::uint8_t* out) {
    const std::size_t inStride = inChannels * Width, outStride = channels.size() * Width;
    if (channels.size() == 1) {
        const std::uint8_t* from = in + std::size_t(channels[0]) * Width;
        for (std::size_t i = 0; i < frames; ++i) std::memcpy(out + i * Width, from + i * inStride, Width);
        return;
    }
    for (std::size_t i = 0; i < frames; ++i) {
        for (std::size_t k = 0; k < channels.size(); ++k)
            std::memcpy(out + i * outStride + k * Width, in + i * inStride + std::size_t(channels[k]) * Width, Width);
    }
}

void pickAnyWidth(const std::uint8_t* in, std::size_t inChannels, const std::vector<int>& channels,
                  std::size_t frames, std::size_t width, std::uint8_t* out) {
    for (std::size_t i = 0; i < frames; ++i) {
        for (std::size_t k = 0; k < channels.size(); ++k)
            std::memcpy(out + (i * channels.size() + k) * width, in + (i * inChannels + std::size_t(channels[k])) * width,
                        width);
    }
}

}  // namespace

void StoredFrames::pick(const StoredFrames& source, const std::vector<int>& channels, std::uint32_t frames) {
    if (source.sampleBytes_ != sampleBytes_ || std::size_t(channels_) != channels.size() || frames > capacity_ ||
        frames > source.frameLength_)
        throw std::invalid_argument("stored frames are picked into a buffer of their width and channels");
    for (int channel : channels) {
        if (channel < 0 || channel >= source.channels_) throw std::invalid_argument("no such source channel");
    }
    const std::uint8_t* in = source.data();
    const auto inChannels = std::size_t(source.channels_);
    switch (sampleBytes_) {
    case 1: pickSamples<1>(in, inChannels, channels, frames, data()); break;
    case 2: pickSamples<2>(in, inChannels, channels, frames, data()); break;
    case 3: pickSamples<3>(in, inChannels, channels, frames, data()); break;
    case 4: pickSamples<4>(in, inChannels, channels, frames, data()); break;
    case 8: pickSamples<8>(in, inChannels, channels, frames, data()); break;
    default: pickAnyWidth(in, inChannels, channels, frames, sampleBytes_, data());
    }
    frameLength_ = frames;
}

}  // namespace twinfold
