#include "audio_io/ChunkWalker.h"

#include "audio_io/AudioIOError.h"

#include <string>

namespace twinfold {

namespace {

// Real files carry a few dozen chunks; the cap keeps a crafted file of
// millions of empty chunks from costing unbounded memory.
constexpr std::size_t kMaxChunks = 65536;

// One pass over the chunk list. Every size is compared with the bytes that
// remain before it is added to an offset, so nothing can overflow and
// nothing past the end of the file is ever read.
class ChunkWalker {
public:
    ChunkWalker(const ByteSource& source, const ChunkWalkRules& rules, std::uint64_t formEnd)
        : source_(source), rules_(rules), formEnd_(formEnd), fileEnd_(source.size()) {}

    ChunkLayout run() {
        std::uint64_t pos = 12;
        while (pos < formEnd_ && !done_) pos = step(pos);
        finish(pos);
        return std::move(layout_);
    }

private:
    [[noreturn]] void fail(const std::string& problem) const {
        throw AudioIOError("Malformed " + rules_.formName + " file: " + problem);
    }

    std::uint64_t step(std::uint64_t pos) {
        const std::uint64_t remaining = fileEnd_ - pos;
        if (remaining < 8) return endOfFileInsideForm(pos, remaining);
        if (formEnd_ - pos < 8)
            fail("the chunk header at offset " + std::to_string(pos) + " crosses the end of the form (" +
                 std::to_string(formEnd_) + " bytes by its header)");

        std::uint8_t header[8];
        source_.readAt(pos, header, sizeof header);
        const std::uint32_t id = loadBE32(header);
        if (!isValidChunkId(id)) fail("invalid chunk id at offset " + std::to_string(pos));
        const std::uint32_t field = rules_.bigEndian ? loadBE32(header + 4) : loadLE32(header + 4);
        const std::uint64_t size = rules_.resolveSize ? rules_.resolveSize(id, field) : field;
        return addChunk(pos, id, size);
    }

    // The file ends less than a chunk header after `pos`. Tolerated only
    // when the file ends exactly there and the form size counts one byte
    // more (a pad byte that was never written). A stray byte cannot be
    // tolerated: a chunk appended after it would not be found again.
    std::uint64_t endOfFileInsideForm(std::uint64_t pos, std::uint64_t remaining) {
        if (formEnd_ - pos <= 1 && remaining == 0) {
            done_ = true;
            return pos;
        }
        if (remaining == 0)
            fail("its header declares " + std::to_string(formEnd_) + " bytes, but the file has only " +
                 std::to_string(fileEnd_));
        fail("the chunk header at offset " + std::to_string(pos) + " is cut off by the end of the file");
    }

    std::uint64_t addChunk(std::uint64_t pos, std::uint32_t id, std::uint64_t size) {
        const std::uint64_t available = fileEnd_ - pos - 8;
        const std::string name = "chunk '" + chunkIdText(id) + "' at offset " + std::to_string(pos);
        if (size > available) {
            // A recorder that crashed, or a copy that was cut, leaves the
            // audio chunk declaring more than was written. Audio readers
            // play what is there, so its present bytes are kept; every other
            // chunk is metadata whose truncation we cannot repair.
            if (id != rules_.audioId)
                fail(name + " declares " + std::to_string(size) + " bytes, but the file ends " +
                     std::to_string(available) + " bytes after its header");
            push({id, pos + 8, available});
            layout_.audioClipped = true;
            done_ = true;
            return fileEnd_;
        }
        if (size > formEnd_ - pos - 8)
            fail(name + " declares " + std::to_string(size) +
                 " bytes and runs past the end of the form given in the file header");
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
        if (layout_.audioClipped) return;
        if (!layout_.padMissing && fileEnd_ > pos)
            fail(std::to_string(fileEnd_ - pos) + " bytes follow the end of the form at offset " +
                 std::to_string(pos) + ": its size in the header is too small");
        if (formEnd_ > layout_.contentEnd + 1)
            fail("its header declares " + std::to_string(formEnd_) + " bytes, but the chunks end at " +
                 std::to_string(layout_.contentEnd));
    }

    const ByteSource& source_;
    const ChunkWalkRules& rules_;
    const std::uint64_t formEnd_;
    const std::uint64_t fileEnd_;
    ChunkLayout layout_;
    bool done_ = false;
};

}  // namespace

bool isValidChunkId(std::uint32_t id) {
    for (int shift = 0; shift < 32; shift += 8) {
        const unsigned c = (id >> shift) & 0xFF;
        if (c < 0x20 || c > 0x7E) return false;
    }
    return true;
}

ChunkLayout walkChunks(const ByteSource& source, const ChunkWalkRules& rules, std::uint64_t formEnd) {
    return ChunkWalker(source, rules, formEnd).run();
}

int read16InFirstChunk(const ByteSource& source, const ChunkLayout& layout, std::uint32_t id,
                       std::uint64_t fieldOffset, bool bigEndian) {
    for (const ChunkEntry& chunk : layout.chunks) {
        if (chunk.id != id || chunk.size < fieldOffset + 2) continue;
        std::uint8_t field[2];
        source.readAt(chunk.dataOffset + fieldOffset, field, sizeof field);
        return bigEndian ? loadBE16(field) : loadLE16(field);
    }
    return 0;
}

}  // namespace twinfold
