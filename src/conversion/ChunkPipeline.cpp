#include "conversion/ChunkPipeline.h"

#include <cstring>
#include <utility>

namespace twinfold {

namespace {

// Integer samples are left-justified in 32 bits: full scale is 2^31.
constexpr float kIntToFloat = 1.0f / 2147483648.0f;

void scaled(const float* in, float* out, std::uint32_t count, float factor) {
    for (std::uint32_t i = 0; i < count; ++i) out[i] = in[i] * factor;
}

void scaled(const std::int32_t* in, float* out, std::uint32_t count, float factor) {
    for (std::uint32_t i = 0; i < count; ++i) out[i] = float(in[i]) * factor;
}

}  // namespace

RouteBuffer::RouteBuffer(const ChannelRoute& route, std::uint32_t capacity, bool integerSource)
    : route_(&route), copiesIntegers_(integerSource && !route.gain) {
    const int channels = int(route.channels.size());
    if (copiesIntegers_) {
        ints_.reset(channels, capacity);
    } else {
        floats_.reset(channels, capacity);
    }
}

std::size_t RouteBuffer::bytes(const ChannelRoute& route, std::uint32_t capacity) {
    return route.channels.size() * capacity * sizeof(float);
}

void RouteBuffer::fill(const IntPCMBuffer& source, std::uint32_t frames) {
    if (!copiesIntegers_) return fillScaled(source, frames, route_->gain.value_or(1.0f) * kIntToFloat);
    for (std::size_t k = 0; k < route_->channels.size(); ++k) {
        std::memcpy(ints_.channel(int(k)), source.channel(route_->channels[k]), frames * sizeof(std::int32_t));
    }
    ints_.setFrameLength(frames);
}

void RouteBuffer::fill(const PCMBuffer& source, std::uint32_t frames) {
    fillScaled(source, frames, route_->gain.value_or(1.0f));
}

template <typename Buffer>
void RouteBuffer::fillScaled(const Buffer& source, std::uint32_t frames, float factor) {
    for (std::size_t k = 0; k < route_->channels.size(); ++k) {
        scaled(source.channel(route_->channels[k]), floats_.channel(int(k)), frames, factor);
    }
    floats_.setFrameLength(frames);
}

void RouteBuffer::write() {
    if (copiesIntegers_) {
        route_->writer->writeInt(ints_);
    } else {
        route_->writer->write(floats_);
    }
}

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
