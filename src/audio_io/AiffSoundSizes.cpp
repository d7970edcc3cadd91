#include "audio_io/AiffSoundSizes.h"

#include "audio_io/AudioIOError.h"
#include "audio_io/ChunkParser.h"
#include "audio_io/ChunkWalker.h"

#include <sys/stat.h>
#include <unistd.h>

namespace twinfold::detail {
namespace {

const ChunkEntry* firstChunk(const ChunkLayout& layout, std::uint32_t id, std::uint64_t minimumSize) {
    for (const ChunkEntry& chunk : layout.chunks)
        if (chunk.id == id) return chunk.size >= minimumSize ? &chunk : nullptr;
    return nullptr;
}

std::uint32_t readBe32(const ByteSource& source, std::uint64_t at) {
    std::uint8_t field[4];
    source.readAt(at, field, sizeof field);
    return loadBE32(field);
}

bool writeBe32(int fd, std::uint64_t at, std::uint32_t value) {
    const std::uint8_t bytes[4] = {std::uint8_t(value >> 24), std::uint8_t(value >> 16), std::uint8_t(value >> 8),
                                   std::uint8_t(value)};
    return ::pwrite(fd, bytes, 4, off_t(at)) == 4;
}

}  // namespace

// Framed by the same chunk walker as every other reader of chunks here, so
// a file whose FORM size is off is read the same way everywhere.
std::optional<AiffSoundSizes> readAiffSoundSizes(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) return std::nullopt;
    try {
        const FileByteSource source(fd, std::uint64_t(info.st_size));
        const ChunkLayout layout = parseChunkLayout(source);
        if (layout.container != ChunkContainer::aiff && layout.container != ChunkContainer::aifc) return std::nullopt;
        // COMM: numChannels (2 bytes), then numSampleFrames. SSND: offset,
        // block size, then the sound data.
        const ChunkEntry* comm = firstChunk(layout, chunkId("COMM"), 6);
        const ChunkEntry* ssnd = firstChunk(layout, chunkId("SSND"), 8);
        if (!comm || !ssnd) return std::nullopt;
        AiffSoundSizes sizes;
        sizes.commFramesAt = comm->dataOffset + 2;
        sizes.commFrames = readBe32(source, sizes.commFramesAt);
        sizes.ssndSizeAt = ssnd->dataOffset - 4;
        sizes.ssndSize = readBe32(source, sizes.ssndSizeAt);
        sizes.ssndOffset = readBe32(source, ssnd->dataOffset);
        return sizes;
    } catch (const AudioIOError&) {
        return std::nullopt;
    }
}

bool writeAiffSoundSizes(int fd, const AiffSoundSizes& at, std::uint32_t frames, std::uint32_t ssndSize) {
    return writeBe32(fd, at.commFramesAt, frames) && writeBe32(fd, at.ssndSizeAt, ssndSize);
}

}  // namespace twinfold::detail
