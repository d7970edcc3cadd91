#include "conversion/ChannelStreamer.h"

#include "conversion/BlockPipeline.h"
#include "conversion/ConversionError.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <future>

namespace twinfold {

namespace {

void readChunk(AudioFileReader& reader, PCMBuffer& buffer, std::uint32_t frames) { reader.read(buffer, frames); }
void readChunk(AudioFileReader& reader, IntPCMBuffer& buffer, std::uint32_t frames) { reader.readInt(buffer, frames); }
void readChunk(AudioFileReader& reader, PlanarBuffer<double>& buffer, std::uint32_t frames) {
    reader.readDouble(buffer, frames);
}
void readChunk(AudioFileReader& reader, StoredFrames& buffer, std::uint32_t frames) {
    buffer.setFrameLength(reader.readStored(buffer.data(), std::min(frames, buffer.capacity())));
}

std::int64_t framesLeft(const AudioFileReader& reader) {
    return std::max<std::int64_t>(reader.length() - reader.position(), 0);
}

std::uint32_t chunkCapacity(const AudioFileReader& reader, const StreamHooks& hooks) {
    return std::uint32_t(std::min<std::int64_t>(hooks.blockFrames, framesLeft(reader)));
}

// Runs `consume(frames, fraction done)` on each chunk of the next `total`
// frames, read into `buffer`.
template <typename Buffer, typename Consume>
void forEachChunk(AudioFileReader& reader, std::int64_t total, Buffer& buffer, const StreamHooks& hooks,
                  Consume consume) {
    const auto capacity = std::uint32_t(std::min<std::int64_t>(hooks.blockFrames, total));
    buffer.reset(reader.channelCount(), capacity);
    for (std::int64_t done = 0; done < total;) {
        if (hooks.checkCancelled) hooks.checkCancelled();
        readChunk(reader, buffer, std::uint32_t(std::min<std::int64_t>(capacity, total - done)));
        const std::uint32_t frames = buffer.frameLength();
        if (frames == 0) throw ConversionError(ConversionError::Case::readError);
        done += frames;
        consume(frames, double(done) / double(total));
    }
}

float peakOf(const float* samples, std::uint32_t count) {
    float peak = 0.0f;
#pragma omp simd reduction(max : peak)
    for (std::uint32_t i = 0; i < count; ++i) peak = std::max(peak, std::fabs(samples[i]));
    return peak;
}

// Hooks whose chunk keeps `channels` samples of `sampleBytes` per frame
// within the memory budget: full-size chunks unless the file is very wide.
StreamHooks withinBudget(StreamHooks hooks, std::size_t channels, std::size_t sampleBytes = sizeof(float)) {
    const std::size_t frames = BlockPipeline::memoryBudget / (std::max<std::size_t>(channels, 1) * sampleBytes);
    hooks.blockFrames = std::uint32_t(std::clamp<std::size_t>(frames, 1, hooks.blockFrames));
    return hooks;
}

// The peak pass reads in chunks this short (or shorter), so that the samples
// are measured while they are still in the cache: nothing is kept from them.
constexpr std::uint32_t kPeakBlockFrames = 1u << 17;

// Largest magnitude of each listed channel over the next `total` frames.
std::vector<float> peaksOver(AudioFileReader& reader, std::int64_t total, const std::vector<int>& channels,
                             StreamHooks hooks) {
    hooks.blockFrames = std::min(hooks.blockFrames, kPeakBlockFrames);
    std::vector<float> peaks(channels.size(), 0.0f);
    PCMBuffer buffer;
    forEachChunk(reader, total, buffer, hooks, [&](std::uint32_t frames, double) {
        for (std::size_t k = 0; k < channels.size(); ++k) {
            peaks[k] = std::max(peaks[k], peakOf(buffer.channel(channels[k]), frames));
        }
    });
    return peaks;
}

// The same with the second half read at once by a second reader on a thread
// of its own. The largest magnitude does not depend on the order, so the
// result is the one a single pass gives.
std::vector<float> peaksInHalves(AudioFileReader& reader, std::int64_t total, const std::vector<int>& channels,
                                 const StreamHooks& hooks, const ReaderFactory& openAgain) {
    const std::int64_t half = total / 2;
    const std::unique_ptr<AudioFileReader> second = openAgain();
    second->seek(reader.position() + half);
    std::atomic<bool> abandoned = false;
    StreamHooks secondHooks = hooks;
    secondHooks.checkCancelled = [&] {
        // Stops the second half soon once the first has failed; this error is never seen.
        if (abandoned) throw ConversionError(ConversionError::Case::cancelled);
        if (hooks.checkCancelled) hooks.checkCancelled();
    };
    auto rest = std::async(std::launch::async, [&] { return peaksOver(*second, total - half, channels, secondHooks); });
    std::vector<float> peaks;
    try {
        peaks = peaksOver(reader, half, channels, hooks);
    } catch (...) {
        abandoned = true;
        rest.wait();
        throw;
    }
    const std::vector<float> restPeaks = rest.get();
    for (std::size_t k = 0; k < peaks.size(); ++k) peaks[k] = std::max(peaks[k], restPeaks[k]);
    return peaks;
}

template <typename Buffer>
void streamWith(AudioFileReader& reader, const std::vector<ChannelRoute>& routes, const StreamHooks& givenHooks,
                SourceSamples source, std::size_t sampleBytes, Buffer buffer) {
    std::size_t outputChannels = 0;
    for (const auto& route : routes) outputChannels += route.channels.size();
    const StreamHooks hooks =
        withinBudget(givenHooks, std::size_t(reader.channelCount()) + outputChannels, sampleBytes);
    const std::uint32_t capacity = chunkCapacity(reader, hooks);
    const std::size_t sourceBytes = std::size_t(reader.channelCount()) * capacity * sampleBytes;
    BlockPipeline pipeline(routes, capacity, source, sourceBytes);
    forEachChunk(reader, framesLeft(reader), buffer, hooks, [&](std::uint32_t frames, double fraction) {
        pipeline.push(buffer, frames, [&hooks, fraction] {
            if (hooks.afterChunk) hooks.afterChunk(fraction);
        });
    });
    pipeline.finish();
    // Progress lags the reads by a chunk; a cancel made while the last chunk
    // was being written still counts.
    if (hooks.checkCancelled) hooks.checkCancelled();
}

// Whether every route can take the source's bytes as they are: none is
// scaled and each writer stores samples exactly as the source does (width,
// signedness, integer or float, byte order). Then picking bytes writes what
// decoding and encoding would, without either.
bool copiesStoredBytes(const AudioFileReader& reader, const std::vector<ChannelRoute>& routes) {
    const auto stored = reader.storedSamples();
    return stored && std::all_of(routes.begin(), routes.end(), [&](const ChannelRoute& route) {
               return !route.gain && route.writer && route.writer->storedSamples() == stored;
           });
}

}  // namespace

bool deliversStoredIntegers(const AudioFileReader& reader) {
    const AudioFormatInfo& format = reader.fileFormat();
    return format.formatID == kFormatLinearPCM && !format.isFloat && format.bitsPerChannel > 0 &&
           format.bitsPerChannel <= 32;
}

std::vector<float> measurePeaks(AudioFileReader& reader, const std::vector<int>& channels, const StreamHooks& hooks,
                                const ReaderFactory& openAgain) {
    const std::int64_t total = framesLeft(reader);
    const std::size_t width = std::size_t(reader.channelCount());
    const StreamHooks halves = withinBudget(hooks, 2 * width);
    // Compressed readers decode the whole file to open and to seek: a second
    // one would cost more than it saves.
    const bool split =
        openAgain && reader.fileFormat().formatID == kFormatLinearPCM && total >= 2 * std::int64_t(halves.blockFrames);
    if (split) return peaksInHalves(reader, total, channels, halves, openAgain);
    return peaksOver(reader, total, channels, withinBudget(hooks, width));
}

void streamChannels(AudioFileReader& reader, const std::vector<ChannelRoute>& routes, const StreamHooks& hooks) {
    // Stored integers only where a route copies them. Scaled routes read
    // floats, which the reader delivers faster and, for integer PCM, exactly
    // (the integer over 2^31, as the scaling would take it anyway). Float
    // routes read samples of their own width.
    const auto any = [&routes](auto test) { return std::any_of(routes.begin(), routes.end(), test); };
    if (copiesStoredBytes(reader, routes)) {
        const auto width = std::size_t(reader.storedSamples()->bytes);
        streamWith(reader, routes, hooks, SourceSamples::stored, width, StoredFrames(width));
    } else if (any([](const auto& route) { return route.floats && route.bitDepth == 64; })) {
        streamWith(reader, routes, hooks, SourceSamples::doubles, sizeof(double), PlanarBuffer<double>());
    } else if (any([](const auto& route) { return !route.gain && !route.floats; }) && deliversStoredIntegers(reader)) {
        streamWith(reader, routes, hooks, SourceSamples::integers, sizeof(std::int32_t), IntPCMBuffer());
    } else {
        streamWith(reader, routes, hooks, SourceSamples::floats, sizeof(float), PCMBuffer());
    }
}

}  // namespace twinfold
