#pragma once

#include "conversion/ChannelStreamer.h"
#include "conversion/StoredFrames.h"

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace twinfold {

// What the source chunks hold: stored integers, floats, doubles (read from a
// 64-bit float file for routes that keep its samples), or the file's own
// bytes (for routes whose writers store samples in the same layout).
enum class SourceSamples { integers, floats, doubles, stored };

// One output's chunk: the routed channels gathered from a source chunk, then
// written. An integer route takes them as integers at the writer's depth
// (stored integers copied unchanged, anything else scaled by the gain and
// rounded); a float route copies float samples of its own width unchanged;
// a route of stored bytes picks its channels' bytes as they are.
class RouteBuffer {
public:
    // Throws std::invalid_argument when a route that rounds has no valid
    // depth, a float route has a gain or a source of another width, or a
    // route of stored bytes has a gain or a writer that takes none.
    RouteBuffer(const ChannelRoute& route, std::uint32_t capacity, SourceSamples source);

    void fill(const IntPCMBuffer& source, std::uint32_t frames);
    void fill(const PCMBuffer& source, std::uint32_t frames);
    void fill(const PlanarBuffer<double>& source, std::uint32_t frames);
    void fill(const StoredFrames& source, std::uint32_t frames);
    void write();

    // Bytes a RouteBuffer of this route holds.
    static std::size_t bytes(const ChannelRoute& route, std::uint32_t capacity, SourceSamples source);

private:
    const ChannelRoute* route_;
    SourceSamples source_;
    bool copiesIntegers_;
    IntPCMBuffer ints_;
    PCMBuffer floats_;
    PlanarBuffer<double> doubles_;
    StoredFrames stored_;
};

// Gathers each chunk on the calling thread and, when two sets of output
// buffers fit the memory budget, writes it on a second thread, so that
// writing chunk N overlaps reading chunk N + 1. One writer thread serves the
// whole stream: a thread per chunk would cost more than a short chunk's
// write. Progress callbacks run on the calling thread, in chunk order, once a
// chunk is written.
class BlockPipeline {
public:
    BlockPipeline(const std::vector<ChannelRoute>& routes, std::uint32_t capacity, SourceSamples source,
                  std::size_t sourceBytes);
    ~BlockPipeline();
    BlockPipeline(const BlockPipeline&) = delete;
    BlockPipeline& operator=(const BlockPipeline&) = delete;

    // The source chunk and all output buffers together stay within this;
    // with the libraries' own ~26 MB a conversion stays under 100 MB.
    static constexpr std::size_t memoryBudget = 48u << 20;

    template <typename Buffer>
    void push(const Buffer& source, std::uint32_t frames, std::function<void()> afterWrite) {
        auto& slot = slots_[next_];
        for (auto& buffer : slot) buffer.fill(source, frames);
        startWrite(slot, std::move(afterWrite));
    }
    // Waits for the last write; rethrows its failure.
    void finish();

private:
    void startWrite(std::vector<RouteBuffer>& slot, std::function<void()> afterWrite);
    void writeLoop(const std::stop_token& stop);
    std::exception_ptr waitForWriter();  // how the last write failed, if it did

    std::vector<std::vector<RouteBuffer>> slots_;
    std::size_t next_ = 0;
    std::function<void()> pendingDone_;  // set while a handed-over slot's write is unseen by finish()
    std::mutex mutex_;
    std::condition_variable_any changed_;
    std::vector<RouteBuffer>* job_ = nullptr;  // the slot the writer is to write, or is writing
    std::exception_ptr failure_;               // how the last write failed
    std::jthread writer_;                      // last: stopped and joined before what it uses goes
};

}  // namespace twinfold
