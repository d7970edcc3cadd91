#pragma once

#include "audio_io/ChunkParser.h"

#include <cstdint>
#include <functional>
#include <string>

namespace twinfold {

inline std::uint16_t loadLE16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
inline std::uint16_t loadBE16(const std::uint8_t* p) { return std::uint16_t((p[0] << 8) | p[1]); }
inline std::uint32_t loadLE32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}
inline std::uint32_t loadBE32(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) |
           std::uint32_t(p[3]);
}
inline std::uint64_t loadLE64(const std::uint8_t* p) {
    return std::uint64_t(loadLE32(p)) | (std::uint64_t(loadLE32(p + 4)) << 32);
}

// Four printable ASCII characters, as RIFF and AIFF require of a chunk id.
bool isValidChunkId(std::uint32_t id);

struct ChunkWalkRules {
    bool bigEndian = false;
    std::uint32_t audioId = 0;     // 'data' or 'SSND': the one chunk that may be cut short
    std::string formName;          // "RIFF", "RF64" or "FORM", for messages
    // Turns a 32-bit size field into the chunk's size; RF64 resolves its
    // 0xFFFFFFFF placeholders from 'ds64'. Empty: the field is the size.
    std::function<std::uint64_t(std::uint32_t id, std::uint32_t sizeField)> resolveSize;
};

// Walks and validates the chunks from offset 12 to the end of the file. The
// end the container header declares (`formEnd`, however wrong) only decides
// what bytes that do not form a chunk mean: after it, a trailer (an ID3v1
// tag, a stray byte) that ends the list; before it, damage (AudioIOError).
// Fills chunks, contentEnd, padMissing, audioClipped and trailingBytes.
ChunkLayout walkChunks(const ByteSource& source, const ChunkWalkRules& rules, std::uint64_t formEnd);

// The 16-bit field `fieldOffset` bytes into the first `id` chunk long enough
// to hold it (such as the bits per sample in 'fmt ' or 'COMM'); 0 if none.
int read16InFirstChunk(const ByteSource& source, const ChunkLayout& layout, std::uint32_t id,
                       std::uint64_t fieldOffset, bool bigEndian);

}  // namespace twinfold
