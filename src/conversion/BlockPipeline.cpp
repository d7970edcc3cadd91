#include "conversion/BlockPipeline.h"

#include "conversion/SampleScaling.h"

#include <cstring>
#include <stdexcept>
#include <utility>

namespace twinfold {

namespace {

// Integer samples are left-justified in 32 bits: full scale is 2^31.
constexpr float kIntToFloat = 1.0f / 2147483648.0f;

bool isWritableDepth(int bits) { return bits == 8 || bits == 16 || bits == 24 || bits == 32; }

// The sample width, in bits, that a route's buffer is filled from.
int sourceWidth(SourceSamples source) { return source == SourceSamples::doubles ? 64 : 32; }

// The sample width of a route's stored bytes: its writer's.
std::size_t storedWidth(const ChannelRoute& route) {
    const auto stored = route.writer ? route.writer->storedSamples() : std::nullopt;
    if (!stored) throw std::invalid_argument("a route of stored bytes needs a writer that takes them");
    return std::size_t(stored->bytes);
}

void checkRoute(const ChannelRoute& route, SourceSamples source, bool copiesIntegers) {
    if (source == SourceSamples::stored) {
        if (route.gain) throw std::invalid_argument("stored bytes are copied, never scaled");
        storedWidth(route);
    } else if (route.floats) {
        if (route.gain || source == SourceSamples::integers || route.bitDepth != sourceWidth(source)) {
            throw std::invalid_argument("a float route copies unscaled floats of its own width");
        }
    } else if (source == SourceSamples::doubles) {
        throw std::invalid_argument("doubles are read only for float routes");
    } else if (!copiesIntegers && !isWritableDepth(route.bitDepth)) {
        throw std::invalid_argument("a route whose samples are rounded needs the writer's bit depth");
    }
}

template <typename Sample>
void copyChannels(const PlanarBuffer<Sample>& source, const std::vector<int>& channels, std::uint32_t frames,
                  PlanarBuffer<Sample>& target) {
    for (std::size_t k = 0; k < channels.size(); ++k) {
        std::memcpy(target.channel(int(k)), source.channel(channels[k]), frames * sizeof(Sample));
    }
    target.setFrameLength(frames);
}

}  // namespace

RouteBuffer::RouteBuffer(const ChannelRoute& route, std::uint32_t capacity, SourceSamples source)
    : route_(&route), source_(source), copiesIntegers_(source == SourceSamples::integers && !route.gain) {
    checkRoute(route, source, copiesIntegers_);
    const int channels = int(route.channels.size());
    if (source == SourceSamples::stored) {
        stored_ = StoredFrames(storedWidth(route));
        stored_.reset(channels, capacity);
    } else if (!route.floats) {
        ints_.reset(channels, capacity);
    } else if (route.bitDepth == 64) {
        doubles_.reset(channels, capacity);
    } else {
        floats_.reset(channels, capacity);
    }
}

std::size_t RouteBuffer::bytes(const ChannelRoute& route, std::uint32_t capacity, SourceSamples source) {
    const std::size_t sampleBytes = source == SourceSamples::stored        ? storedWidth(route)
                                    : route.floats && route.bitDepth == 64 ? sizeof(double)
                                                                           : sizeof(std::int32_t);
    return route.channels.size() * capacity * sampleBytes;
}

void RouteBuffer::fill(const IntPCMBuffer& source, std::uint32_t frames) {
    if (copiesIntegers_) {
        copyChannels(source, route_->channels, frames, ints_);
        return;
    }
    const float factor = route_->gain.value_or(1.0f) * kIntToFloat;
    for (std::size_t k = 0; k < route_->channels.size(); ++k) {
        scaleToGrid(source.channel(route_->channels[k]), frames, factor, route_->bitDepth, ints_.channel(int(k)));
    }
    ints_.setFrameLength(frames);
}

void RouteBuffer::fill(const PCMBuffer& source, std::uint32_t frames) {
    if (route_->floats) {
        copyChannels(source, route_->channels, frames, floats_);
        return;
    }
    for (std::size_t k = 0; k < route_->channels.size(); ++k) {
        scaleToGrid(source.channel(route_->channels[k]), frames, route_->gain.value_or(1.0f), route_->bitDepth,
                    ints_.channel(int(k)));
    }
    ints_.setFrameLength(frames);
}

void RouteBuffer::fill(const PlanarBuffer<double>& source, std::uint32_t frames) {
    copyChannels(source, route_->channels, frames, doubles_);
}

void RouteBuffer::fill(const StoredFrames& source, std::uint32_t frames) {
    stored_.pick(source, route_->channels, frames);
}

void RouteBuffer::write() {
    if (source_ == SourceSamples::stored) {
        route_->writer->writeStored(stored_.data(), stored_.frameLength());
    } else if (!route_->floats) {
        route_->writer->writeInt(ints_);
    } else if (route_->bitDepth == 64) {
        route_->writer->writeDouble(doubles_);
    } else {
        route_->writer->write(floats_);
    }
}

BlockPipeline::BlockPipeline(const std::vector<ChannelRoute>& routes, std::uint32_t capacity, SourceSamples source,
                             std::size_t sourceBytes) {
    std::size_t outputBytes = 0;
    for (const auto& route : routes) outputBytes += RouteBuffer::bytes(route, capacity, source);
    const bool overlap = sourceBytes + 2 * outputBytes <= memoryBudget;
    slots_.resize(overlap ? 2 : 1);
    for (auto& slot : slots_) {
        for (const auto& route : routes) slot.emplace_back(route, capacity, source);
    }
    if (overlap) writer_ = std::jthread([this](const std::stop_token& stop) { writeLoop(stop); });
}

BlockPipeline::~BlockPipeline() {
    // Unwinding (a cancel, a read failure): let a running write end before
    // the buffers go; its own outcome no longer matters.
    waitForWriter();
}

void BlockPipeline::writeLoop(const std::stop_token& stop) {
    std::unique_lock lock(mutex_);
    while (changed_.wait(lock, stop, [this] { return job_ != nullptr; })) {
        std::vector<RouteBuffer>& slot = *job_;
        lock.unlock();
        std::exception_ptr failure;
        try {
            for (auto& buffer : slot) buffer.write();
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        failure_ = failure;
        job_ = nullptr;
        changed_.notify_all();
    }
}

std::exception_ptr BlockPipeline::waitForWriter() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return job_ == nullptr; });
    return std::exchange(failure_, nullptr);
}

void BlockPipeline::startWrite(std::vector<RouteBuffer>& slot, std::function<void()> afterWrite) {
    if (slots_.size() == 1) {
        for (auto& buffer : slot) buffer.write();
        afterWrite();
        return;
    }
    finish();
    {
        std::lock_guard lock(mutex_);
        job_ = &slot;
    }
    changed_.notify_all();
    pendingDone_ = std::move(afterWrite);
    next_ ^= 1;
}

void BlockPipeline::finish() {
    if (!pendingDone_) return;
    const std::function<void()> done = std::exchange(pendingDone_, {});
    if (const std::exception_ptr failure = waitForWriter()) std::rethrow_exception(failure);
    done();
}

}  // namespace twinfold
