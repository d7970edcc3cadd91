#include "Mutator.h"

#include "audio_io/ByteOrder.h"
#include "audio_io/ChunkParser.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace twinfold::test {
namespace {

void addChunkStructure(const Bytes& file, FileStructure& structure) {
    const MemoryByteSource source(file.data(), file.size());
    ChunkLayout layout;
    try {
        layout = parseChunkLayout(source);
    } catch (const std::exception&) {
        return;
    }
    const bool bigEndian = layout.container == ChunkContainer::aiff || layout.container == ChunkContainer::aifc;
    structure.sizeFields.push_back({4, 4, bigEndian});
    for (const ChunkEntry& chunk : layout.chunks) {
        structure.sizeFields.push_back({std::size_t(chunk.dataOffset - 4), 4, bigEndian});
        const std::uint64_t padded = chunk.dataOffset + chunk.size + (chunk.size & 1);
        const std::uint64_t end = std::min<std::uint64_t>(padded, file.size());
        structure.chunks.push_back({std::size_t(chunk.dataOffset - 8), std::size_t(end)});
        if (chunk.id == fourCC("ds64")) {
            for (std::size_t field = 0; field < 24 && field + 8 <= chunk.size; field += 8)
                structure.sizeFields.push_back({std::size_t(chunk.dataOffset + field), 8, false});
        }
        // AIFF's frame count and SSND's offset are lengths as well.
        if (chunk.id == fourCC("COMM") && chunk.size >= 6)
            structure.sizeFields.push_back({std::size_t(chunk.dataOffset + 2), 4, true});
        if (chunk.id == fourCC("SSND") && chunk.size >= 8)
            structure.sizeFields.push_back({std::size_t(chunk.dataOffset), 4, true});
    }
    if (!layout.chunks.empty()) structure.headerBytes = std::size_t(layout.chunks.back().dataOffset);
}

// MP4 boxes: a 32-bit big-endian size, then the type. Containers whose
// children matter for audio are entered.
void addBoxes(const Bytes& file, std::size_t begin, std::size_t end, int depth, FileStructure& structure) {
    static const char* const containers[] = {"moov", "trak", "mdia", "minf", "stbl", "udta", "edts"};
    for (std::size_t at = begin; at + 8 <= end;) {
        const std::uint32_t size = loadBE32(&file[at]);
        if (size < 8 || size > end - at) return;
        structure.sizeFields.push_back({at, 4, true});
        if (depth == 0) structure.chunks.push_back({at, at + size});
        for (const char* type : containers)
            if (std::memcmp(&file[at + 4], type, 4) == 0) addBoxes(file, at + 8, at + size, depth + 1, structure);
        at += size;
    }
}

template <typename T>
T pick(std::mt19937_64& random, T low, T high) {
    return std::uniform_int_distribution<T>(low, high)(random);
}

// Most parsing decisions lie in the header; the rest of the file gets a share.
std::size_t pickOffset(const Bytes& file, const FileStructure& structure, std::mt19937_64& random) {
    const std::size_t header = std::min(structure.headerBytes + 16, file.size());
    return pick<std::size_t>(random, 0, (pick(random, 0, 3) != 0 ? header : file.size()) - 1);
}

Mutant flipBits(const Bytes& file, const FileStructure& structure, std::mt19937_64& random) {
    Mutant mutant{file, "flipped bits at"};
    for (int n = pick(random, 1, 8); n > 0; --n) {
        const std::size_t at = pickOffset(file, structure, random);
        mutant.bytes[at] ^= std::uint8_t(1u << pick(random, 0, 7));
        mutant.description.append(1, ' ').append(std::to_string(at));
    }
    return mutant;
}

Mutant truncate(const Bytes& file, const FileStructure& structure, std::mt19937_64& random) {
    const std::size_t keep = pickOffset(file, structure, random);
    return {Bytes(file.begin(), file.begin() + std::ptrdiff_t(keep)), "cut to " + std::to_string(keep) + " bytes"};
}

Mutant lieAboutSize(const Bytes& file, const FileStructure& structure, std::mt19937_64& random) {
    const auto& field = structure.sizeFields[pick<std::size_t>(random, 0, structure.sizeFields.size() - 1)];
    const std::uint64_t all = field.width == 8 ? ~std::uint64_t(0) : 0xFFFFFFFFu;
    const std::uint64_t pastEnd = file.size() - field.at + pick<std::uint64_t>(random, 1, 4096);
    const std::uint64_t values[] = {0, all, pastEnd, all - 1, 1};
    const std::uint64_t value = values[pick(random, 0, 4)];
    Mutant mutant{file, "size field at " + std::to_string(field.at) + " set to " + std::to_string(value)};
    (field.bigEndian ? storeBE : storeLE)(&mutant.bytes[field.at], value, field.width);
    return mutant;
}

Mutant duplicateChunk(const Bytes& file, const FileStructure& structure, std::mt19937_64& random) {
    const auto& span = structure.chunks[pick<std::size_t>(random, 0, structure.chunks.size() - 1)];
    Mutant mutant{file, "chunk at " + std::to_string(span.begin) + " written twice"};
    mutant.bytes.insert(mutant.bytes.begin() + std::ptrdiff_t(span.end), file.begin() + std::ptrdiff_t(span.begin),
                        file.begin() + std::ptrdiff_t(span.end));
    return mutant;
}

Mutant swapChunks(const Bytes& file, const FileStructure& structure, std::mt19937_64& random) {
    const std::size_t first = pick<std::size_t>(random, 0, structure.chunks.size() - 2);
    const auto& a = structure.chunks[first];
    const auto& b = structure.chunks[first + 1];
    Mutant mutant{Bytes(file.begin(), file.begin() + std::ptrdiff_t(a.begin)),
                  "chunks at " + std::to_string(a.begin) + " and " + std::to_string(b.begin) + " swapped"};
    const auto at = [&](std::size_t offset) { return file.begin() + std::ptrdiff_t(offset); };
    mutant.bytes.insert(mutant.bytes.end(), at(b.begin), at(b.end));
    mutant.bytes.insert(mutant.bytes.end(), at(a.begin), at(a.end));
    mutant.bytes.insert(mutant.bytes.end(), at(b.end), file.end());
    return mutant;
}

}  // namespace

FileStructure findStructure(const Bytes& file) {
    FileStructure structure;
    if (file.size() >= 12) {
        addChunkStructure(file, structure);
        if (structure.chunks.empty() && std::memcmp(&file[4], "ftyp", 4) == 0)
            addBoxes(file, 0, file.size(), 0, structure);
    }
    return structure;
}

Mutant mutate(const Bytes& file, const FileStructure& structure, std::mt19937_64& random) {
    if (file.empty()) throw std::invalid_argument("nothing to mutate");
    const int kinds = structure.chunks.size() >= 2 ? 5 : structure.sizeFields.empty() ? 2 : 3;
    switch (pick(random, 0, kinds - 1)) {
    case 0: return flipBits(file, structure, random);
    case 1: return truncate(file, structure, random);
    case 2: return lieAboutSize(file, structure, random);
    case 3: return duplicateChunk(file, structure, random);
    default: return swapChunks(file, structure, random);
    }
}

}  // namespace twinfold::test
