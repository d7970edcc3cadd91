#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

namespace twinfold {

// One chunk read from a file.
struct AudioChunk {
    std::uint32_t chunkID = 0;       // four-character code, first character in the high byte
    std::vector<std::uint8_t> data;  // contents without the 8-byte header
    std::uint32_t index = 0;         // occurrence of this code in the file, from 0

    bool operator==(const AudioChunk&) const = default;
};

// The first four bytes of `text` read big-endian; 0 for fewer than four bytes.
std::uint32_t fourCharCode(std::string_view text);

// Chunk codes carried from an AIFF source (.aif/.aiff), in copy order:
// ANNO AUTH NAME COMT MARK INST.
const std::vector<std::uint32_t>& aiffChunkIDs();
// Chunk codes carried from any other source, in copy order:
// bext iXML LIST "cue " labl note smpl inst _PMX axml cart.
const std::vector<std::uint32_t>& wavChunkIDs();

// Carries a source's descriptive chunks (broadcast description, markers,
// loop points, …) over to a converted output. Best effort: a conversion never
// fails because of metadata.
class AudioMetadataService {
public:
    // Chunks with a chunk larger than this are left out rather than loaded.
    static constexpr std::uint64_t maxChunkBytes = 64ull << 20;

    // The listed chunks of `source` in list order, then occurrence order.
    // Never fails: a file without chunk structure (MP3, M4A, unreadable)
    // gives an empty list.
    std::vector<AudioChunk> readChunks(const std::filesystem::path& source) const;

    // Appends the chunks to a finished RIFF/RF64/AIFF file in place, in list
    // order, padding odd lengths and fixing the container size. Throws
    // AudioIOError when the file cannot be opened or written; callers ignore it.
    void writeChunks(const std::vector<AudioChunk>& chunks, const std::filesystem::path& output) const;
};

}  // namespace twinfold
