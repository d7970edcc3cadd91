#pragma once

// Byte-level damage to valid audio files, the way disks, transfers and
// careless tools damage them: flipped bits, cut-off ends, size fields that
// lie, chunks written twice or out of order. Where the file's structure is
// known (RIFF/RF64/AIFF chunks, MP4 boxes) the size fields and chunk spans
// are the targets; elsewhere bits and lengths are.

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace twinfold::test {

using Bytes = std::vector<std::uint8_t>;

// Where a valid file keeps its lengths and its chunks.
struct FileStructure {
    struct SizeField {
        std::size_t at = 0;
        int width = 4;  // bytes: 4, or 8 for the 64-bit sizes of 'ds64'
        bool bigEndian = false;
    };
    struct Span {
        std::size_t begin = 0, end = 0;  // a whole chunk or box: header, contents, pad byte
    };
    std::vector<SizeField> sizeFields;
    std::vector<Span> chunks;      // top-level, in file order
    std::size_t headerBytes = 64;  // where most parsing decisions lie
};

FileStructure findStructure(const Bytes& file);

struct Mutant {
    Bytes bytes;
    std::string description;  // what was done, to reproduce a failure by hand
};

// One mutation of `file`, chosen and placed by `random`.
Mutant mutate(const Bytes& file, const FileStructure& structure, std::mt19937_64& random);

}  // namespace twinfold::test
