#include "audio_io/AiffSoundSizes.h"

#include "audio_io/AudioIOError.h"
#include "audio_io/ByteOrder.h"
#include "audio_io/ChunkParser.h"

#include <unistd.h>

namespace twinfold::detail {
namespace {

// The first chunk `id` when it holds at least `minimumSize` bytes.
const ChunkEntry* firstChunk(const ChunkLayout& layout, FourCC id, std::uint64_t minimumSize) {
    const ChunkEntry* chunk = layout.first(id);
    return chunk && chunk->size >= minimumSize ? chunk : nullptr;
}

std::uint32_t readBe32(const ByteSource& source, std::uint64_t at) {
    std::uint8_t field[4];
    source.readAt(at, field, sizeof field);
    return loadBE32(field);
}

bool writeBe32(int fd, std::uint64_t at, std::uint32_t value) {
    std::uint8_t bytes[4];
    storeBE(bytes, value, 4);
    return ::pwrite(fd, bytes, 4, off_t(at)) == 4;
}

}  // namespace

std::optional<AiffSoundSizes> readAiffSoundSizes(int fd) {
    try {
        const FileByteSource source = FileByteSource::ofRegularFile(fd);
        const ChunkLayout layout = parseChunkLayout(source);
        if (!layout.isAiff()) return std::nullopt;
        // COMM: numChannels (2 bytes), then numSampleFrames. SSND: offset,
        // block size, then the sound data.
        const ChunkEntry* comm = firstChunk(layout, fourCC("COMM"), 6);
        const ChunkEntry* ssnd = firstChunk(layout, fourCC("SSND"), 8);
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
