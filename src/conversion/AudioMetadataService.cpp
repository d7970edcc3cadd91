#include "conversion/AudioMetadataService.h"

#include "audio_io/AudioFileOpen.h"
#include "audio_io/AudioIOError.h"
#include "audio_io/ChunkFile.h"
#include "audio_io/PosixFile.h"
#include "conversion/OutputNaming.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <unistd.h>

namespace twinfold {

namespace fs = std::filesystem;

namespace {

// By content, not name: an AIFF named .wav carries AIFF chunks.
const std::vector<FourCC>& codesFor(const ChunkFile& file) {
    const ChunkContainer container = file.container();
    return container == ChunkContainer::aiff || container == ChunkContainer::aifc ? aiffChunkIDs() : wavChunkIDs();
}

// Big chunks are compared a block of this size at a time.
constexpr std::size_t kCompareBlockBytes = std::size_t(4) << 20;

struct ChunkRef {
    FourCC id;
    std::uint32_t index;
};

// The listed chunks of an open source, in list order, then occurrence order.
std::vector<ChunkRef> listedChunks(const ChunkFile& file) {
    std::vector<ChunkRef> listed;
    for (FourCC id : codesFor(file))
        for (std::uint32_t index = 0, count = file.count(id); index < count; ++index) listed.push_back({id, index});
    return listed;
}

std::string describe(const ChunkRef& chunk) {
    return "chunk '" + fourCCText(chunk.id) + "'" +
           (chunk.index > 0 ? " (occurrence " + std::to_string(chunk.index + 1) + ")" : "");
}

[[noreturn]] void failCarry(const fs::path& output, const ChunkRef& chunk, const fs::path& source,
                            const std::string& problem) {
    throw AudioIOError(output.string() + ": " + describe(chunk) + " of " + source.filename().string() + " " + problem);
}

bool sameContents(const ChunkFile& a, const ChunkFile& b, const ChunkRef& chunk) {
    const std::uint64_t size = a.size(chunk.id, chunk.index);
    if (b.size(chunk.id, chunk.index) != size) return false;
    const auto blockBytes = std::size_t(std::min<std::uint64_t>(size, kCompareBlockBytes));
    std::vector<std::uint8_t> left(blockBytes), right(blockBytes);
    for (std::uint64_t done = 0; done < size;) {
        const auto count = std::size_t(std::min<std::uint64_t>(size - done, blockBytes));
        a.readPart(chunk.id, chunk.index, done, left.data(), count);
        b.readPart(chunk.id, chunk.index, done, right.data(), count);
        if (!std::equal(left.begin(), left.begin() + long(count), right.begin())) return false;
        done += count;
    }
    return true;
}

void appendAll(const ChunkFile& from, const std::vector<ChunkRef>& listed, const fs::path& source,
               const fs::path& output) {
    auto to = ChunkFile::open(output, true);
    for (const ChunkRef& chunk : listed) {
        try {
            to->appendStreamed(chunk.id, from.size(chunk.id, chunk.index),
                               [&](std::uint64_t offset, std::uint8_t* block, std::size_t count) {
                                   from.readPart(chunk.id, chunk.index, offset, block, count);
                               });
        } catch (const AudioIOError& error) {
            failCarry(output, chunk, source, std::string("could not be written: ") + error.what());
        }
    }
    to->close();
}

}  // namespace

const std::vector<FourCC>& aiffChunkIDs() {
    static const std::vector<FourCC> ids = {fourCC("ANNO"), fourCC("AUTH"), fourCC("NAME"),
                                            fourCC("COMT"), fourCC("MARK"), fourCC("INST")};
    return ids;
}

const std::vector<FourCC>& wavChunkIDs() {
    static const std::vector<FourCC> ids = {fourCC("bext"), fourCC("iXML"), fourCC("LIST"), fourCC("cue "),
                                            fourCC("labl"), fourCC("note"), fourCC("smpl"), fourCC("inst"),
                                            fourCC("_PMX"), fourCC("axml"), fourCC("cart")};
    return ids;
}

bool hasChunkStructure(const fs::path& path) {
    const detail::UniqueFd fd = detail::openAudioInput(path);
    unsigned char head[12];
    std::uint64_t at = 0;
    // An ID3v2 tag in front of a WAV or AIFF file: its contents follow.
    for (int tags = 0; tags < 2; ++tags) {
        const ssize_t got = ::pread(fd.get(), head, sizeof head, off_t(at));
        if (got < 0) detail::throwErrno(path, errno);
        if (got < 10 || std::memcmp(head, "ID3", 3) != 0)
            return detail::sniffContent(head, std::size_t(got)) == detail::ContentKind::pcmContainer;
        const std::uint64_t tagSize = std::uint64_t(head[6] & 0x7F) << 21 | std::uint64_t(head[7] & 0x7F) << 14 |
                                      std::uint64_t(head[8] & 0x7F) << 7 | std::uint64_t(head[9] & 0x7F);
        at += 10 + tagSize + ((head[5] & 0x10) != 0 ? 10 : 0);
    }
    return false;
}

std::vector<AudioChunk> AudioMetadataService::readChunks(const fs::path& source) const {
    std::vector<AudioChunk> chunks;
    if (!hasChunkStructure(source)) return chunks;
    const auto file = ChunkFile::open(source, false);
    for (const ChunkRef& chunk : listedChunks(*file))
        chunks.push_back({chunk.id, file->read(chunk.id, chunk.index), chunk.index});
    return chunks;
}

void AudioMetadataService::writeChunks(const std::vector<AudioChunk>& chunks, const fs::path& output) const {
    if (chunks.empty()) return;
    auto file = ChunkFile::open(output, true);
    for (const auto& chunk : chunks) file->append(chunk.chunkID, chunk.data);
    file->close();
}

void AudioMetadataService::carryChunks(const fs::path& source, const std::vector<fs::path>& outputs) const {
    if (!hasChunkStructure(source)) return;
    const auto from = ChunkFile::open(source, false);
    const std::vector<ChunkRef> listed = listedChunks(*from);
    for (const fs::path& output : outputs) {
        if (!listed.empty()) appendAll(*from, listed, source, output);
        requireChunksCarried(source, output);
    }
}

void requireChunksCarried(const fs::path& source, const fs::path& output) {
    if (!hasChunkStructure(source)) return;
    const auto from = ChunkFile::open(source, false);
    const std::vector<ChunkRef> listed = listedChunks(*from);
    if (listed.empty()) return;
    const auto to = ChunkFile::open(output, false);
    for (const ChunkRef& chunk : listed) {
        if (to->count(chunk.id) <= chunk.index) failCarry(output, chunk, source, "is missing");
        if (!sameContents(*from, *to, chunk)) failCarry(output, chunk, source, "differs");
    }
}

}  // namespace twinfold
