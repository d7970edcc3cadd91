#pragma once

#include "audio_io/AudioFileReader.h"
#include "audio_io/AudioFileWriter.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace twinfold {

// The chunked read → pick channels → (scale) → write loop that every
// conversion shares. Memory is one source chunk plus one or two chunks per
// output, whatever the file's length: chunks are `blockFrames` long, shorter
// only for files so wide that they would not fit the memory budget.
// Frame counts are 64-bit throughout.

// Where one output's samples come from.
struct ChannelRoute {
    AudioFileWriter* writer = nullptr;
    std::vector<int> channels;  // source channels, in output order
    std::optional<float> gain;  // absent: samples copied unchanged
    // The writer's depth (8, 16, 24 or 32), to which samples that are not
    // copied as stored integers (scaled ones, float sources) are rounded.
    // Needed for every such route; a copy of integer PCM ignores it.
    // For a float route: 32 or 64, the width of the source's floats.
    int bitDepth = 0;
    // The source's float samples go to a float writer as they are, never
    // rounded or clipped; such a route has no gain.
    bool floats = false;
};

struct StreamHooks {
    std::uint32_t blockFrames = 1'000'000;
    // Called before every chunk and once more when the last one is written;
    // throws to stop the pass (cancellation).
    std::function<void()> checkCancelled;
    // Called after every chunk with the fraction of the pass done.
    std::function<void(double)> afterChunk;
};

// True when the reader can deliver the file's stored integers unchanged, so
// copies need no float round trip (which would lose the low bits of 32-bit PCM).
bool deliversStoredIntegers(const AudioFileReader& reader);

// Opens the source again, for a pass that reads it on two threads at once.
using ReaderFactory = std::function<std::unique_ptr<AudioFileReader>()>;

// Largest sample magnitude of each listed channel, from the reader's current
// position to the end, in one pass; the reader's position afterwards is
// unspecified. Reports no progress. With `openAgain`, a PCM file of two chunks
// or more is read in two halves at once, the second by a reader it opens, on
// a second thread (about half the time when a core is free; the same peaks).
// hooks.checkCancelled is then called on both threads.
std::vector<float> measurePeaks(AudioFileReader& reader, const std::vector<int>& channels, const StreamHooks& hooks,
                                const ReaderFactory& openAgain = {});

// Streams the reader from its current position to the end into the routes.
// When no route is scaled and every writer stores samples in the source's own
// layout, the kept channels' bytes are copied as stored, never decoded.
// A read that delivers nothing before the reported length is reached throws
// ConversionError::readError, so an output is never silently short.
void streamChannels(AudioFileReader& reader, const std::vector<ChannelRoute>& routes, const StreamHooks& hooks);

}  // namespace twinfold
