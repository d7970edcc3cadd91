#pragma once

#include "records/FourCC.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace twinfold {

// The one parser of chunk files (RIFF/WAVE, RF64, AIFF and AIFF-C). Reading,
// appending metadata, and the writer's header fix-ups all frame a file
// through it, so a file whose header lies is read the same way everywhere.

enum class ChunkContainer { riff, rf64, aiff, aifc };

// One chunk, by position.
struct ChunkEntry {
    FourCC id = 0;
    std::uint64_t dataOffset = 0;  // file offset of the chunk's contents
    std::uint64_t size = 0;        // the declared (true) length of the contents; for an
                                   // audio chunk cut short by the end of the file, the
                                   // bytes actually present

    bool operator==(const ChunkEntry&) const = default;
};

// Where the chunk parser reads its bytes: a file, or memory (tests, fuzzing).
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Reads exactly `count` bytes at `offset`, which the caller has checked
    // against size(); throws AudioIOError when the bytes cannot be read.
    virtual void readAt(std::uint64_t offset, void* destination, std::size_t count) const = 0;
};

class MemoryByteSource : public ByteSource {
public:
    MemoryByteSource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint64_t size() const override { return size_; }
    void readAt(std::uint64_t offset, void* destination, std::size_t count) const override;

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

// A file descriptor read with pread, so no shared position is involved.
// Its errors leave naming the file to the caller.
class FileByteSource : public ByteSource {
public:
    FileByteSource(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    // The size of the regular file open on `fd` (AudioIOError otherwise).
    static FileByteSource ofRegularFile(int fd);
    std::uint64_t size() const override { return size_; }
    void setSize(std::uint64_t size) { size_ = size; }
    void readAt(std::uint64_t offset, void* destination, std::size_t count) const override;

private:
    int fd_;
    std::uint64_t size_;
};

// The validated structure of a chunk file.
struct ChunkLayout {
    ChunkContainer container = ChunkContainer::riff;
    std::vector<ChunkEntry> chunks;
    // End of the last chunk including its pad byte: where the next chunk
    // goes. One past the end of the file when that pad byte is missing.
    std::uint64_t contentEnd = 0;
    bool padMissing = false;
    // The audio chunk ('data'/'SSND') declares more than the file holds and
    // was cut to the bytes present; nothing may be appended after it.
    bool audioClipped = false;
    // Bytes after the last chunk that form none (a tag, a stray byte): no
    // chunk may be appended, as it would be written over them.
    std::uint64_t trailingBytes = 0;
    // File offset of the container size: 4 (32-bit) for RIFF and AIFF, the
    // 64-bit riff size inside 'ds64' for RF64.
    std::uint64_t sizeFieldOffset = 4;
    int bitsPerChannel = 0;

    bool isAiff() const { return container == ChunkContainer::aiff || container == ChunkContainer::aifc; }
    // The first chunk `id`, the one readers take; null when there is none.
    const ChunkEntry* first(FourCC id) const;
};

// Parses and validates the header and the whole chunk list; throws
// AudioIOError naming the problem when the structure is broken.
ChunkLayout parseChunkLayout(const ByteSource& source);

}  // namespace twinfold
