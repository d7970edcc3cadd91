#pragma once

#include "analysis/AnalysisError.h"

#include <algorithm>
#include <atomic>
#include <cstdint>

namespace twinfold {

// How a file is streamed: `blockFrames` is the unit the analysis is defined
// on (cancellation, per-chunk float sums); each chunk is read in runs of at
// most `runFrames` so the samples are still in cache while every test looks
// at them, and memory stays at one run per channel.
struct ChunkGeometry {
    std::int64_t totalFrames = 0;
    std::uint32_t blockFrames = 1;
    std::uint32_t runFrames = 1;  // at most blockFrames
};

// What stops an analysis: the service's own flag and, when the caller passed
// one, the caller's token. Either may be set from any thread at any time. A
// lone flag converts implicitly, for loops that have only one.
class StopFlags {
public:
    StopFlags(const std::atomic<bool>& own, const std::atomic<bool>* caller = nullptr) : own_(&own), caller_(caller) {}

    bool isSet() const {
        return own_->load(std::memory_order_relaxed) || (caller_ && caller_->load(std::memory_order_relaxed));
    }

private:
    const std::atomic<bool>* own_;
    const std::atomic<bool>* caller_;
};

// Streams frames [0, totalFrames) from `source` into `sink`, chunk by chunk.
// Source: position(), seek(frame), read(n) → frames delivered.
// Sink: add(source, n) for each run, endChunk(), isSettled().
// Throws AnalysisError(cancelled) before the next run once `stop` is set;
// stops early once the sink is settled or the source has nothing more.
template <typename Source, typename Sink>
void streamChunks(Source& source, Sink& sink, const ChunkGeometry& g, const StopFlags& stop) {
    for (std::int64_t chunkStart = 0; chunkStart < g.totalFrames; chunkStart += g.blockFrames) {
        const std::int64_t chunkLength = std::min<std::int64_t>(g.blockFrames, g.totalFrames - chunkStart);
        // Each chunk starts at its own frame even if the previous one came up
        // short, as if the file were read chunk by chunk from fixed positions.
        if (source.position() != chunkStart) source.seek(chunkStart);
        std::int64_t done = 0;
        while (done < chunkLength) {
            if (stop.isSet()) throw AnalysisError(AnalysisError::Case::cancelled);
            const auto wanted = std::uint32_t(std::min<std::int64_t>(g.runFrames, chunkLength - done));
            const std::uint32_t got = source.read(wanted);
            sink.add(source, got);
            done += got;
            if (sink.isSettled()) return;
            if (got < wanted) break;  // the data ends inside this chunk
        }
        sink.endChunk();
        if (done == 0) return;  // nothing left to read: later chunks would be empty too
    }
}

}  // namespace twinfold
