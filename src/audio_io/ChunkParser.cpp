#include "audio_io/ChunkParser.h"

#include "audio_io/AudioIOError.h"
#include "audio_io/ChunkWalker.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <unistd.h>

namespace twinfold {

std::string chunkIdText(std::uint32_t id) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = char((id >> shift) & 0xFF);
        text += (c >= 0x20 && c <= 0x7E) ? c : '?';
    }
    return text;
}

void MemoryByteSource::readAt(std::uint64_t offset, void* destination, std::size_t count) const {
    if (offset > size_ || count > size_ - offset)
        throw AudioIOError("Read past the end of the data at offset " + std::to_string(offset));
    if (count > 0) std::memcpy(destination, data_ + offset, count);
}

void FileByteSource::readAt(std::uint64_t offset, void* destination, std::size_t count) const {
    auto* out = static_cast<char*>(destination);
    while (count > 0) {
        const ssize_t got = ::pread(fd_, out, count, off_t(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw AudioIOError(std::string("cannot read: ") + std::strerror(errno));
        if (got == 0) throw AudioIOError("the file became shorter while it was read");
        out += got;
        offset += std::uint64_t(got);
        count -= std::size_t(got);
    }
}

ChunkLayout parseChunkLayout(const ByteSource& source) {
    if (source.size() < 12)
        throw AudioIOError("Not a RIFF or AIFF file: it has only " + std::to_string(source.size()) + " bytes");
    std::uint8_t magic[4];
    source.readAt(0, magic, sizeof magic);
    const std::uint32_t id = loadBE32(magic);
    if (id == chunkId("RIFF") || id == chunkId("RF64")) return parseRiffLayout(source);
    if (id == chunkId("FORM")) return parseAiffLayout(source);
    throw AudioIOError("Not a RIFF, RF64 or AIFF file: it starts with '" + chunkIdText(id) + "'");
}

}  // namespace twinfold
