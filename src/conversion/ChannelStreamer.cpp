#include "conversion/ChannelStreamer.h"

#include "conversion/ConversionError.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

namespace twinfold {

namespace {

// Integer samples are left-justified in 32 bits: full scale is 2^31.
constexpr float kIntToFloat = 1.0f / 2147483648.0f;

void readChunk(AudioFileReader& reader, PCMBuffer& buffer, std::uint32_t frames) { reader.read(buffer, frames); }
void readChunk(AudioFileReader& reader, IntPCMBuffer& buffer, std::uint32_t frames) {
    reader.readInt(buffer, frames);
}

std::int64_t framesLeft(const AudioFileReader& reader) {
    return std::max<std::int64_t>(reader.length() - reader.position(), 0);
}

std::uint32_t chunkCapacity(const AudioFileReader& reader, const StreamHooks& hooks) {
    return std::uint32_t(std::min<std::int64_t>(hooks.chunkFrames, framesLeft(reader)));
}

// Runs `consume(frames)` on each chunk read into `buffer`, up to the end.
template <typename Buffer, typename Consume>
void forEachChunk(AudioFileReader& reader, Buffer& buffer, const StreamHooks& hooks, Consume consume) {
    const std::int64_t total = framesLeft(reader);
    const std::uint32_t capacity = chunkCapacity(reader, hooks);
    buffer.reset(reader.channelCount(), capacity);
    for (std::int64_t done = 0; done < total;) {
        if (hooks.beforeChunk) hooks.beforeChunk();
        readChunk(reader, buffer, std::uint32_t(std::min<std::int64_t>(capacity, total - done)));
        const std::uint32_t frames = buffer.frameLength();
        if (frames == 0) throw ConversionError(ConversionError::Case::readError);
        consume(frames);
        done += frames;
        if (hooks.afterChunk) hooks.afterChunk(double(done) / double(total));
    }
}

float peakOf(const float* samples, std::uint32_t count) {
    float peak = 0.0f;
#pragma omp simd reduction(max : peak)
    for (std::uint32_t i = 0; i < count; ++i) peak = std::max(peak, std::fabs(samples[i]));
    return peak;
}

void scaled(const float* in, float* out, std::uint32_t count, float factor) {
    for (std::uint32_t i = 0; i < count; ++i) out[i] = in[i] * factor;
}

void scaled(const std::int32_t* in, float* out, std::uint32_t count, float factor) {
    for (std::uint32_t i = 0; i < count; ++i) out[i] = float(in[i]) * factor;
}

// One output's chunk buffers and the copy into them.
class RouteWriter {
public:
    // An integer source copied without gain stays in integers; everything
    // else goes through float.
    RouteWriter(const ChannelRoute& route, std::uint32_t capacity, bool integerSource) : route_(route) {
        const int channels = int(route.channels.size());
        if (integerSource && !route.gain) {
            ints_.reset(channels, capacity);
        } else {
            floats_.reset(channels, capacity);
        }
    }

    void write(const IntPCMBuffer& in, std::uint32_t frames) {
        if (route_.gain) return writeScaled(in, frames, *route_.gain * kIntToFloat);
        for (std::size_t k = 0; k < route_.channels.size(); ++k) {
            std::memcpy(ints_.channel(int(k)), in.channel(route_.channels[k]), frames * sizeof(std::int32_t));
        }
        ints_.setFrameLength(frames);
        route_.writer->writeInt(ints_);
    }

    void write(const PCMBuffer& in, std::uint32_t frames) { writeScaled(in, frames, route_.gain.value_or(1.0f)); }

private:
    template <typename Buffer>
    void writeScaled(const Buffer& in, std::uint32_t frames, float factor) {
        for (std::size_t k = 0; k < route_.channels.size(); ++k) {
            scaled(in.channel(route_.channels[k]), floats_.channel(int(k)), frames, factor);
        }
        floats_.setFrameLength(frames);
        route_.writer->write(floats_);
    }

    const ChannelRoute& route_;
    PCMBuffer floats_;
    IntPCMBuffer ints_;
};

template <typename Buffer>
void streamWith(AudioFileReader& reader, const std::vector<ChannelRoute>& routes, const StreamHooks& hooks) {
    const std::uint32_t capacity = chunkCapacity(reader, hooks);
    std::vector<RouteWriter> writers;
    writers.reserve(routes.size());
    for (const auto& route : routes) {
        writers.emplace_back(route, capacity, std::is_same_v<Buffer, IntPCMBuffer>);
    }
    Buffer buffer;
    forEachChunk(reader, buffer, hooks, [&](std::uint32_t frames) {
        for (auto& writer : writers) writer.write(buffer, frames);
    });
}

}  // namespace

bool deliversStoredIntegers(const AudioFileReader& reader) {
    const AudioFormatInfo& format = reader.fileFormat();
    return format.formatID == kFormatLinearPCM && !format.isFloat && format.bitsPerChannel > 0 &&
           format.bitsPerChannel <= 32;
}

std::vector<float> measurePeaks(AudioFileReader& reader, const std::vector<int>& channels,
                                const StreamHooks& hooks) {
    std::vector<float> peaks(channels.size(), 0.0f);
    PCMBuffer buffer;
    forEachChunk(reader, buffer, hooks, [&](std::uint32_t frames) {
        for (std::size_t k = 0; k < channels.size(); ++k) {
            peaks[k] = std::max(peaks[k], peakOf(buffer.channel(channels[k]), frames));
        }
    });
    return peaks;
}

void streamChannels(AudioFileReader& reader, const std::vector<ChannelRoute>& routes, const StreamHooks& hooks) {
    if (deliversStoredIntegers(reader)) {
        streamWith<IntPCMBuffer>(reader, routes, hooks);
    } else {
        streamWith<PCMBuffer>(reader, routes, hooks);
    }
}

}  // namespace twinfold
