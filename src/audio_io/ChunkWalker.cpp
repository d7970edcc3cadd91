#include "audio_io/ChunkWalker.h"

#include "audio_io/AudioIOError.h"

#include <string>

namespace twinfold {

namespace {

// Real files carry a few dozen chunks, and tools that write many small
// ones (markers, labels) stay in the thousands. A crafted file of millions
// of empty chunks must not cost unbounded memory: 65,536 entries take about
// 1.5 MiB. Every user of a layout frames files through this one walk, so a
// file is accepted or refused the same way by each of them.
constexpr std::size_t kMaxChunks = 65536;

// An ID3v1 tag: 128 bytes starting "TAG" that taggers append to any file.
constexpr std::uint64_t kId3v1Bytes = 128;

// One pass over the chunk list, framed as other readers frame it: chunk
// headers are followed to the real end of the file, whatever the container
// header declares (0, 0xFFFFFFFF, too much, too little: all occur in files
// that every other reader plays). Every size is compared with the bytes that
// remain before it is added to an offset, so nothing can overflow and
// nothing past the end of the file is ever read.
class ChunkWalker {
public:
    ChunkWalker(const ByteSource& source, const ChunkWalkRules& rules, std::uint64_t formEnd)
        : source_(source), rules_(rules), formEnd_(formEnd), fileEnd_(source.size()) {}

    ChunkLayout run() {
        std::uint64_t pos = 12;
        // Fewer than a header's 8 bytes at the end cannot hold a chunk: a
        // stray byte, or the rest of a header the file was cut inside.
        while (!done_ && pos <= fileEnd_ && fileEnd_ - pos >= 8) pos = step(pos);
        finish(pos);
        return std::move(layout_);
    }

private:
    [[noreturn]] void fail(const std::string& problem) const {
        throw AudioIOError("Malformed " + rules_.formName + " file: " + problem);
    }

    std::uint64_t step(std::uint64_t pos) {
        if (isId3v1Tag(pos)) return endOfChunks(pos);
        std::uint8_t header[8];
        source_.readAt(pos, header, sizeof header);
        const FourCC id = loadBE32(header);
        if (!isPrintableFourCC(id)) {
            if (isTrailing(pos)) return endOfChunks(pos);
            fail("invalid chunk id at offset " + std::to_string(pos));
        }
        const std::uint32_t field = rules_.bigEndian ? loadBE32(header + 4) : loadLE32(header + 4);
        const std::uint64_t size = rules_.resolveSize ? rules_.resolveSize(id, field) : field;
        return addBlock(pos, id, size);
    }

    // Bytes after the end the header declares are not part of the form:
    // when they do not make a chunk they are some tool's trailer and end
    // the list. Inside the declared form they are damage.
    bool isTrailing(std::uint64_t pos) const { return pos >= formEnd_; }

    bool isId3v1Tag(std::uint64_t pos) const {
        if (fileEnd_ - pos != kId3v1Bytes) return false;
        char magic[3];
        source_.readAt(pos, magic, sizeof magic);
        return magic[0] == 'T' && magic[1] == 'A' && magic[2] == 'G';
    }

    std::uint64_t endOfChunks(std::uint64_t pos) {
        done_ = true;
        return pos;
    }

    std::uint64_t addBlock(std::uint64_t pos, FourCC id, std::uint64_t size) {
        const std::uint64_t available = fileEnd_ - pos - 8;
        if (size > available) {
            // A recorder that crashed, or a copy that was cut, leaves the
            // audio chunk declaring more than was written. Audio readers
            // play what is there, so its present bytes are kept; every other
            // chunk is metadata whose truncation we cannot repair.
            if (id == rules_.audioId) {
                push({id, pos + 8, available});
                layout_.audioClipped = true;
                done_ = true;
                return fileEnd_;
            }
            if (isTrailing(pos)) return endOfChunks(pos);
            fail("chunk '" + fourCCText(id) + "' at offset " + std::to_string(pos) + " declares " +
                 std::to_string(size) + " bytes, but the file ends " + std::to_string(available) +
                 " bytes after its header");
        }
        push({id, pos + 8, size});
        const std::uint64_t next = pos + 8 + size + (size & 1);
        if (next > fileEnd_) {  // the final pad byte is missing
            layout_.padMissing = true;
            done_ = true;
        }
        return next;
    }

    void push(const ChunkEntry& entry) {
        if (layout_.chunks.size() == kMaxChunks) fail("more than " + std::to_string(kMaxChunks) + " chunks");
        layout_.chunks.push_back(entry);
    }

    void finish(std::uint64_t pos) {
        layout_.contentEnd = pos;
        if (!layout_.audioClipped && pos < fileEnd_) layout_.trailingBytes = fileEnd_ - pos;
    }

    const ByteSource& source_;
    const ChunkWalkRules& rules_;
    const std::uint64_t formEnd_;
    const std::uint64_t fileEnd_;
    ChunkLayout layout_;
    bool done_ = false;
};

}  // namespace

ChunkLayout walkChunks(const ByteSource& source, const ChunkWalkRules& rules, std::uint64_t formEnd) {
    return ChunkWalker(source, rules, formEnd).run();
}

int read16InFirstChunk(const ByteSource& source, const ChunkLayout& layout, FourCC id, std::uint64_t fieldOffset,
                       bool bigEndian) {
    for (const ChunkEntry& chunk : layout.chunks) {
        if (chunk.id != id || chunk.size < fieldOffset + 2) continue;
        std::uint8_t field[2];
        source.readAt(chunk.dataOffset + fieldOffset, field, sizeof field);
        return bigEndian ? loadBE16(field) : loadLE16(field);
    }
    return 0;
}

}  // namespace twinfold
