#include "conversion/AudioMetadataService.h"

#include "audio_io/ChunkFile.h"
#include "conversion/OutputNaming.h"

namespace twinfold {

namespace fs = std::filesystem;

namespace {

std::vector<std::uint32_t> codes(std::initializer_list<std::string_view> texts) {
    std::vector<std::uint32_t> result;
    for (auto text : texts) result.push_back(fourCharCode(text));
    return result;
}

// By content, not name: an AIFF named .wav carries AIFF chunks.
const std::vector<std::uint32_t>& codesFor(const ChunkFile& file) {
    const ChunkContainer container = file.container();
    return container == ChunkContainer::aiff || container == ChunkContainer::aifc ? aiffChunkIDs() : wavChunkIDs();
}

// A chunk that cannot be read is skipped; the others still count.
void appendOccurrences(const ChunkFile& file, std::uint32_t id, std::vector<AudioChunk>& chunks) {
    const std::uint32_t count = file.count(id);
    for (std::uint32_t index = 0; index < count; ++index) {
        try {
            const std::uint64_t size = file.size(id, index);
            if (size == 0 || size > AudioMetadataService::maxChunkBytes) continue;
            chunks.push_back({id, file.read(id, index), index});
        } catch (const std::exception&) {
        }
    }
}

}  // namespace

std::uint32_t fourCharCode(std::string_view text) {
    if (text.size() < 4) return 0;
    std::uint32_t code = 0;
    for (int i = 0; i < 4; ++i) code = (code << 8) | std::uint8_t(text[std::size_t(i)]);
    return code;
}

const std::vector<std::uint32_t>& aiffChunkIDs() {
    static const auto ids = codes({"ANNO", "AUTH", "NAME", "COMT", "MARK", "INST"});
    return ids;
}

const std::vector<std::uint32_t>& wavChunkIDs() {
    static const auto ids =
        codes({"bext", "iXML", "LIST", "cue ", "labl", "note", "smpl", "inst", "_PMX", "axml", "cart"});
    return ids;
}

std::vector<AudioChunk> AudioMetadataService::readChunks(const fs::path& source) const {
    std::vector<AudioChunk> chunks;
    try {
        auto file = ChunkFile::open(source, false);
        for (std::uint32_t id : codesFor(*file)) appendOccurrences(*file, id, chunks);
    } catch (const std::exception&) {
        // Best effort: a source without readable chunk structure (an MP3, a
        // damaged header) simply has nothing to carry over.
    }
    return chunks;
}

void AudioMetadataService::writeChunks(const std::vector<AudioChunk>& chunks, const fs::path& output) const {
    if (chunks.empty()) return;
    auto file = ChunkFile::open(output, true);
    for (const auto& chunk : chunks) file->append(chunk.chunkID, chunk.data);
    file->close();
}

}  // namespace twinfold
