// libFuzzer target for the RIFF/RF64/AIFF chunk parser and for appending to
// whatever it accepts. Run it through scripts/fuzz.

#include "audio_io/AudioIOError.h"
#include "audio_io/ChunkFile.h"
#include "audio_io/ChunkParser.h"
#include "FuzzScratch.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

using namespace twinfold;

namespace {

using fuzz::check;

// What an accepted layout must promise its users: chunks in file order,
// apart from each other, and every byte of them inside the input.
void checkLayout(const ChunkLayout& layout, const MemoryByteSource& source) {
    std::uint64_t previousEnd = 12;
    for (const ChunkEntry& chunk : layout.chunks) {
        check(chunk.dataOffset >= previousEnd + 8, "chunks overlap or are out of order");
        check(chunk.dataOffset <= source.size() && chunk.size <= source.size() - chunk.dataOffset,
              "chunk outside the input");
        std::vector<std::uint8_t> data(chunk.size);
        source.readAt(chunk.dataOffset, data.data(), data.size());
        previousEnd = chunk.dataOffset + chunk.size;
    }
    check(layout.contentEnd >= previousEnd && layout.contentEnd <= source.size() + 1, "bad content end");
    check(layout.trailingBytes == 0 || layout.contentEnd + layout.trailingBytes == source.size(), "bad trailer");
}

// Appending to an accepted file must give a file that parses again and ends
// with the new chunk.
void checkAppend(const std::uint8_t* data, std::size_t size, const ChunkLayout& layout) {
    const auto& path = fuzz::writeScratch(data, size);
    const std::vector<std::uint8_t> odd = {'f', 'u', 'z'};
    try {
        auto file = ChunkFile::open(path, true);
        file->append(fourCC("fuzz"), odd);
        file->close();
    } catch (const AudioIOError&) {
        check(layout.audioClipped || layout.trailingBytes > 0, "append refused a file that takes a chunk");
        std::ifstream in(path, std::ios::binary);
        const std::vector<std::uint8_t> after(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>{});
        check(after == std::vector<std::uint8_t>(data, data + size), "a refused append wrote");
        return;
    }
    check(!layout.audioClipped && layout.trailingBytes == 0, "append accepted a file that takes no chunk");
    const auto reopened = ChunkFile::open(path, false);
    check(reopened->chunks().size() == layout.chunks.size() + 1, "appended chunk count");
    check(reopened->read(fourCC("fuzz"), reopened->count(fourCC("fuzz")) - 1) == odd, "appended bytes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const MemoryByteSource source(data, size);
    ChunkLayout layout;
    try {
        layout = parseChunkLayout(source);
    } catch (const AudioIOError&) {
        return 0;
    }
    checkLayout(layout, source);
    checkAppend(data, size, layout);
    return 0;
}
