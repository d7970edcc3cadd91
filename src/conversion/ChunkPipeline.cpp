#include "conversion/ChunkPipeline.h"

#include "conversion/SampleScaling.h"

#include <cstring>
#include <stdexcept>
#include <utility>

namespace twinfold {

namespace {

// Integer samples are left-justified in 32 bits: full scale is 2^31.
constexpr float kIntToFloat = 1.0f / 2147483648.0f;

bool isWritableDepth(int bits) { return bits == 8 || bits == 16 || bits == 24 || bits == 32; }

}  // namespace

RouteBuffer::RouteBuffer(const ChannelRoute& route, std::uint32_t capacity, bool integerSource)
    : route_(&route), copiesIntegers_(integerSource && !route.gain) {
    if (!copiesIntegers_ && !isWritableDepth(route.bitDepth)) {
        throw std::invalid_argument("a route whose samples are rounded needs the writer's bit depth");
    }
    ints_.reset(int(route.channels.size()), capacity);
}

std::size_t RouteBuffer::bytes(const ChannelRoute& route, std::uint32_t capacity) {
    return route.channels.size() * capacity * sizeof(std::int32_t);
}

void RouteBuffer::fill(const IntPCMBuffer& source, std::uint32_t frames) {
    const float factor = route_->gain.value_or(1.0f) * kIntToFloat;
    for (std::size_t k = 0; k < route_->channels.size(); ++k) {
        const std::int32_t* in = source.channel(route_->channels[k]);
        if (copiesIntegers_) {
            std::memcpy(ints_.channel(int(k)), in, frames * sizeof(std::int32_t));
        } else {
            scaleToGrid(in, frames, factor, route_->bitDepth, ints_.channel(int(k)));
        }
    }
    ints_.setFrameLength(frames);
}

void RouteBuffer::fill(const PCMBuffer& source, std::uint32_t frames) {
    for (std::size_t k = 0; k < route_->channels.size(); ++k) {
        scaleToGrid(source.channel(route_->channels[k]), frames, route_->gain.value_or(1.0f), route_->bitDepth,
                    ints_.channel(int(k)));
    }
    ints_.setFrameLength(frames);
}

void RouteBuffer::write() { route_->writer->writeInt(ints_); }

ChunkPipeline::ChunkPipeline(const std::vector<ChannelRoute>& routes, std::uint32_t capacity, bool integerSource,
                             std::size_t sourceBytes) {
    std::size_t outputBytes = 0;
    for (const auto& route : routes) outputBytes += RouteBuffer::bytes(route, capacity);
    const bool overlap = sourceBytes + 2 * outputBytes <= memoryBudget;
    slots_.resize(overlap ? 2 : 1);
    for (auto& slot : slots_) {
        for (const auto& route : routes) slot.emplace_back(route, capacity, integerSource);
    }
}

ChunkPipeline::~ChunkPipeline() {
    // Unwinding (a cancel, a read failure): let a running write end before
    // the buffers go; its own outcome no longer matters.
    if (pending_.valid()) pending_.wait();
}

void ChunkPipeline::startWrite(std::vector<RouteBuffer>& slot, std::function<void()> afterWrite) {
    auto writeSlot = [&slot] {
        for (auto& buffer : slot) buffer.write();
    };
    if (slots_.size() == 1) {
        writeSlot();
        afterWrite();
        return;
    }
    finish();
    pending_ = std::async(std::launch::async, writeSlot);
    pendingDone_ = std::move(afterWrite);
    next_ ^= 1;
}

void ChunkPipeline::finish() {
    if (!pending_.valid()) return;
    pending_.get();
    std::exchange(pendingDone_, {})();
}

}  // namespace twinfold
