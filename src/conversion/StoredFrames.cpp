#include "conversion/StoredFrames.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <sys/mman.h>

namespace twinfold {

namespace {

// A run of kept channels that lie side by side in the source and in the
// output: one move per frame instead of one per sample.
struct Run {
    std::size_t from = 0, to = 0, length = 0;
};

std::vector<Run> runsOf(const std::vector<int>& channels, std::size_t width) {
    std::vector<Run> runs;
    for (std::size_t k = 0; k < channels.size(); ++k) {
        const std::size_t from = std::size_t(channels[k]) * width;
        if (k > 0 && channels[k] == channels[k - 1] + 1)
            runs.back().length += width;
        else
            runs.push_back({from, k * width, width});
    }
    return runs;
}

template <std::size_t Bytes>
void move(std::uint8_t* to, const std::uint8_t* from) {
    std::memcpy(to, from, Bytes);
}

// Each run is moved in whole 8- or 16-byte words, which is what makes the
// copy fast for 3-byte samples. A word runs on past the run's end; the
// bytes it lands on belong to later runs or frames, which are written after
// it. Only the last frames, whose words would leave the buffers, are moved
// byte-exact.
void pickRuns(const std::uint8_t* in, std::size_t inStride, const std::vector<Run>& runs, std::size_t frames,
              std::size_t outStride, std::uint8_t* out) {
    constexpr std::size_t kExactTail = 16;
    const std::size_t words = frames > kExactTail ? frames - kExactTail : 0;
    for (std::size_t i = 0; i < words; ++i) {
        const std::uint8_t* frame = in + i * inStride;
        std::uint8_t* target = out + i * outStride;
        for (const Run& run : runs) {
            if (run.length <= 8) {
                move<8>(target + run.to, frame + run.from);
                continue;
            }
            for (std::size_t at = 0; at < run.length; at += 16) move<16>(target + run.to + at, frame + run.from + at);
        }
    }
    for (std::size_t i = words; i < frames; ++i) {
        for (const Run& run : runs) std::memcpy(out + i * outStride + run.to, in + i * inStride + run.from, run.length);
    }
}

}  // namespace

void detail::UnmapBytes::operator()(std::uint8_t* bytes) const { ::munmap(bytes, size); }

// The pages are mapped in at once: a chunk's buffers are tens of megabytes,
// and faulting them in 4 KiB at a time, then zeroing them, costs more than
// copying the samples.
void StoredFrames::reset(int channelCount, std::uint32_t capacity) {
    channels_ = channelCount;
    capacity_ = capacity;
    frameLength_ = 0;
    const std::size_t size = bytesPerFrame() * capacity;
    if (size <= bytes_.get_deleter().size) return;
    void* mapped = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (mapped == MAP_FAILED) throw std::bad_alloc();
    bytes_ = std::unique_ptr<std::uint8_t, detail::UnmapBytes>(static_cast<std::uint8_t*>(mapped), {size});
}

void StoredFrames::pick(const StoredFrames& source, const std::vector<int>& channels, std::uint32_t frames) {
    if (source.sampleBytes_ != sampleBytes_ || std::size_t(channels_) != channels.size() || frames > capacity_ ||
        frames > source.frameLength_)
        throw std::invalid_argument("stored frames are picked into a buffer of their width and channels");
    if (std::any_of(channels.begin(), channels.end(), [&](int c) { return c < 0 || c >= source.channels_; }))
        throw std::invalid_argument("no such source channel");
    pickRuns(source.data(), source.bytesPerFrame(), runsOf(channels, sampleBytes_), frames, bytesPerFrame(), data());
    frameLength_ = frames;
}

}  // namespace twinfold
