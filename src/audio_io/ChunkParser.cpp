#include "audio_io/ChunkParser.h"

#include "audio_io/AudioIOError.h"
#include "audio_io/ChunkWalker.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace twinfold {

namespace {

constexpr std::uint32_t kPlaceholderSize = 0xFFFFFFFF;
// The 'ds64' table lists the few chunks other than 'data' that pass 4 GiB;
// a longer table is garbage, and the cap bounds what we read of it.
constexpr std::uint32_t kMaxDs64TableLength = 1024;

[[noreturn]] void failRf64(const std::string& problem) { throw AudioIOError("Malformed RF64 file: " + problem); }

// The 64-bit sizes of an RF64 file, which stand in for the 32-bit fields
// that hold the 0xFFFFFFFF placeholder.
struct Ds64 {
    std::uint64_t riffSize = 0;
    std::uint64_t dataSize = 0;
    struct Entry {
        FourCC id;
        std::uint64_t size;
        bool used;
    };
    std::vector<Entry> table;

    std::uint64_t resolve(FourCC id, std::uint32_t field) {
        if (field != kPlaceholderSize) return field;
        if (id == fourCC("data")) return dataSize;
        for (Entry& entry : table) {
            if (entry.id != id || entry.used) continue;
            entry.used = true;
            return entry.size;
        }
        failRf64("chunk '" + fourCCText(id) + "' has a placeholder size but no entry in 'ds64'");
    }
};

// 'ds64' must be the first chunk: riff size, data size, sample count (8
// bytes each, little-endian), then a table length and its entries (a chunk
// id and an 8-byte size each).
Ds64 readDs64(const ByteSource& source) {
    if (source.size() < 20 + 24) failRf64("the file is too short for its 'ds64' chunk");
    std::uint8_t head[8 + 28] = {};
    source.readAt(12, head, 8 + 24);
    if (loadBE32(head) != fourCC("ds64")) failRf64("the first chunk is not 'ds64'");
    const std::uint32_t size = loadLE32(head + 4);
    if (size < 24 || size > source.size() - 20) failRf64("its 'ds64' chunk has a bad size " + std::to_string(size));

    Ds64 ds64;
    ds64.riffSize = loadLE64(head + 8);
    ds64.dataSize = loadLE64(head + 16);
    if (size < 28) return ds64;
    source.readAt(20 + 24, head + 32, 4);
    const std::uint32_t tableLength = loadLE32(head + 32);
    if (tableLength > kMaxDs64TableLength || tableLength > (size - 28) / 12)
        failRf64("its 'ds64' table length " + std::to_string(tableLength) + " does not fit the chunk");
    for (std::uint32_t i = 0; i < tableLength; ++i) {
        std::uint8_t entry[12];
        source.readAt(20 + 28 + std::uint64_t(i) * 12, entry, sizeof entry);
        ds64.table.push_back({loadBE32(entry), loadLE64(entry + 4), false});
    }
    return ds64;
}

ChunkLayout walkRf64(const ByteSource& source, ChunkWalkRules& rules) {
    Ds64 ds64 = readDs64(source);
    rules.formName = "RF64";
    rules.resolveSize = [&ds64](FourCC id, std::uint32_t field) { return ds64.resolve(id, field); };
    const std::uint64_t formEnd = std::min(ds64.riffSize, std::numeric_limits<std::uint64_t>::max() - 8) + 8;
    ChunkLayout layout = walkChunks(source, rules, formEnd);
    layout.container = ChunkContainer::rf64;
    layout.sizeFieldOffset = 20;  // the riff size leads the contents of 'ds64'
    return layout;
}

ChunkLayout walkRiff(const ByteSource& source, ChunkWalkRules& rules, std::uint32_t riffSize) {
    rules.formName = "WAVE";
    ChunkLayout layout = walkChunks(source, rules, 8 + std::uint64_t(riffSize));
    layout.container = ChunkContainer::riff;
    layout.sizeFieldOffset = 4;
    return layout;
}

// RIFF/WAVE or RF64.
ChunkLayout parseRiffLayout(const ByteSource& source) {
    std::uint8_t header[12];
    source.readAt(0, header, sizeof header);
    const FourCC formType = loadBE32(header + 8);
    if (formType != fourCC("WAVE"))
        throw AudioIOError("Unknown RIFF form type '" + fourCCText(formType) + "': not a WAVE file");

    ChunkWalkRules rules;
    rules.bigEndian = false;
    rules.audioId = fourCC("data");
    ChunkLayout layout =
        loadBE32(header) == fourCC("RF64") ? walkRf64(source, rules) : walkRiff(source, rules, loadLE32(header + 4));
    // wBitsPerSample follows format tag, channels, rate, byte rate and block
    // align (14 bytes) in 'fmt '.
    layout.bitsPerChannel = read16InFirstChunk(source, layout, fourCC("fmt "), 14, false);
    return layout;
}

// AIFF or AIFF-C.
ChunkLayout parseAiffLayout(const ByteSource& source) {
    std::uint8_t header[12];
    source.readAt(0, header, sizeof header);
    const FourCC formType = loadBE32(header + 8);
    ChunkWalkRules rules;
    rules.bigEndian = true;
    rules.audioId = fourCC("SSND");
    ChunkContainer container;
    if (formType == fourCC("AIFF")) {
        container = ChunkContainer::aiff;
        rules.formName = "AIFF";
    } else if (formType == fourCC("AIFC")) {
        container = ChunkContainer::aifc;
        rules.formName = "AIFF-C";
    } else {
        throw AudioIOError("Unknown FORM type '" + fourCCText(formType) + "': not an AIFF or AIFF-C file");
    }
    ChunkLayout layout = walkChunks(source, rules, 8 + std::uint64_t(loadBE32(header + 4)));
    layout.container = container;
    layout.sizeFieldOffset = 4;
    // sampleSize sits after numChannels (2 bytes) and numSampleFrames (4) in
    // 'COMM', in AIFF and AIFF-C alike.
    layout.bitsPerChannel = read16InFirstChunk(source, layout, fourCC("COMM"), 6, true);
    return layout;
}

}  // namespace

const ChunkEntry* ChunkLayout::first(FourCC id) const {
    for (const ChunkEntry& chunk : chunks)
        if (chunk.id == id) return &chunk;
    return nullptr;
}

void MemoryByteSource::readAt(std::uint64_t offset, void* destination, std::size_t count) const {
    if (offset > size_ || count > size_ - offset)
        throw AudioIOError("Read past the end of the data at offset " + std::to_string(offset));
    if (count > 0) std::memcpy(destination, data_ + offset, count);
}

FileByteSource FileByteSource::ofRegularFile(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) throw AudioIOError(std::string("cannot stat: ") + std::strerror(errno));
    if (!S_ISREG(info.st_mode)) throw AudioIOError("not a regular file");
    return FileByteSource(fd, std::uint64_t(info.st_size));
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
    const FourCC id = loadBE32(magic);
    if (id == fourCC("RIFF") || id == fourCC("RF64")) return parseRiffLayout(source);
    if (id == fourCC("FORM")) return parseAiffLayout(source);
    throw AudioIOError("Not a RIFF, RF64 or AIFF file: it starts with '" + fourCCText(id) + "'");
}

}  // namespace twinfold
