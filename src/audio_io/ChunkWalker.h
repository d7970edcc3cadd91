#pragma once

#include "audio_io/ByteOrder.h"
#include "audio_io/ChunkParser.h"

#include <cstdint>
#include <functional>
#include <string>

namespace twinfold {

// The walk over the chunk list that the RIFF, RF64 and AIFF headers share;
// only the chunk parser uses it.
struct ChunkWalkRules {
    bool bigEndian = false;
    FourCC audioId = 0;    // 'data' or 'SSND': the one chunk that may be cut short
    std::string formName;  // "WAVE", "RF64", "AIFF" or "AIFF-C", for messages
    // Turns a 32-bit size field into the chunk's size; RF64 resolves its
    // 0xFFFFFFFF placeholders from 'ds64'. Empty: the field is the size.
    std::function<std::uint64_t(FourCC id, std::uint32_t sizeField)> resolveSize;
};

// Walks and validates the chunks from offset 12 to the end of the file. The
// end the container header declares (`formEnd`, however wrong) only decides
// what bytes that do not form a chunk mean: after it, a trailer (an ID3v1
// tag, a stray byte) that ends the list; before it, damage (AudioIOError).
// Fills chunks, contentEnd, padMissing, audioClipped and trailingBytes.
ChunkLayout walkChunks(const ByteSource& source, const ChunkWalkRules& rules, std::uint64_t formEnd);

// The 16-bit field `fieldOffset` bytes into the first `id` chunk long enough
// to hold it (such as the bits per sample in 'fmt ' or 'COMM'); 0 if none.
int read16InFirstChunk(const ByteSource& source, const ChunkLayout& layout, FourCC id, std::uint64_t fieldOffset,
                       bool bigEndian);

}  // namespace twinfold
