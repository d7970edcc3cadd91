#pragma once

#include "records/FourCC.h"

#include <cstdint>
#include <filesystem>
#include <vector>

namespace twinfold {

// One chunk read from a file.
struct AudioChunk {
    FourCC chunkID = 0;
    std::vector<std::uint8_t> data;  // contents without the 8-byte header
    std::uint32_t index = 0;         // occurrence of this code in the file, from 0

    bool operator==(const AudioChunk&) const = default;
};

// Chunk codes carried from an AIFF source (.aif/.aiff), in copy order:
// ANNO AUTH NAME COMT MARK INST.
const std::vector<FourCC>& aiffChunkIDs();
// Chunk codes carried from any other source, in copy order:
// bext iXML LIST "cue " labl note smpl inst _PMX axml cart.
const std::vector<FourCC>& wavChunkIDs();

// Whether `path` holds a RIFF, RF64 or AIFF structure (by its content, not
// its name), whose chunks must then be readable and carried. False for MPEG
// audio, AAC, MP4 and whatever else has no chunks. Throws AudioIOError naming
// the file when it cannot be read.
bool hasChunkStructure(const std::filesystem::path& path);

// Carries a source's descriptive chunks (broadcast description, markers,
// loop points, …) over to a converted output. Every listed chunk of the
// source reaches every output byte for byte, padded, or the operation fails
// with an AudioIOError naming the chunk and the file: metadata is never
// dropped without a word.
class AudioMetadataService {
public:
    // The listed chunks of `source` in list order, then occurrence order,
    // each loaded whole. Empty for a file without chunk structure (MP3,
    // M4A); AudioIOError naming the file when its chunks cannot be read.
    std::vector<AudioChunk> readChunks(const std::filesystem::path& source) const;

    // Appends the chunks to a finished RIFF/RF64/AIFF file in place, in list
    // order, padding odd lengths and fixing the container size. Throws
    // AudioIOError when the file cannot be opened or written.
    void writeChunks(const std::vector<AudioChunk>& chunks, const std::filesystem::path& output) const;

    // Appends every listed chunk of `source` to each finished output, copied
    // from file to file a block at a time, so chunks of any size cost a few
    // MiB of memory; then proves each output with requireChunksCarried.
    void carryChunks(const std::filesystem::path& source, const std::vector<std::filesystem::path>& outputs) const;
};

// Re-reads the chunk lists of `source` and `output` and throws AudioIOError
// unless every listed chunk of the source (list order, then occurrence) is
// in the output with identical contents; what() names the chunk's code and
// the output. A source without chunk structure passes. Compares block by
// block in bounded memory, so it can stand before an original is deleted.
void requireChunksCarried(const std::filesystem::path& source, const std::filesystem::path& output);

}  // namespace twinfold
