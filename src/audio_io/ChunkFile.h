#pragma once

#include "audio_io/ChunkParser.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

namespace twinfold {

// Structure-aware access to the chunks of a RIFF/WAVE, RF64 or AIFF/AIFF-C
// file, without loading the audio. Opening validates the whole chunk list:
// a chunk that runs past the end of the file or a lying header is an error
// (AudioIOError), never an over-read. Chunk contents are read only on request.
// One object is used by one thread at a time.
class ChunkFile {
public:
    static std::unique_ptr<ChunkFile> open(const std::filesystem::path& path, bool writable);
    virtual ~ChunkFile() = default;

    virtual ChunkContainer container() const = 0;
    virtual const std::vector<ChunkEntry>& chunks() const = 0;

    // Occurrences of `id`, in file order; index counts from 0.
    virtual std::uint32_t count(FourCC id) const = 0;
    virtual std::uint64_t size(FourCC id, std::uint32_t index) const = 0;  // throws if absent
    virtual std::vector<std::uint8_t> read(FourCC id, std::uint32_t index) const = 0;
    // `count` bytes of the contents, from `offset` bytes in: big chunks are
    // read a block at a time. Throws for a range outside the chunk.
    virtual void readPart(FourCC id, std::uint32_t index, std::uint64_t offset, void* destination,
                          std::size_t count) const = 0;

    // Bits per sample from the format chunk ("fmt " or "COMM"), 0 if unknown.
    virtual int bitsPerChannel() const = 0;

    // Appends a chunk at the end of the file in place: writes the header and
    // contents, pads odd lengths with one zero byte (the length field keeps
    // the true length) and fixes the container size. Needs `writable`.
    // Refuses a file whose audio chunk is cut short, one with bytes after
    // its last chunk and a container that would outgrow its 32-bit size
    // field; on a write failure the file is cut back to its former length.
    void append(FourCC id, const std::vector<std::uint8_t>& data);

    // Fills `count` bytes of the new chunk's contents, from `offset` bytes in.
    using ContentSource = std::function<void(std::uint64_t offset, std::uint8_t* block, std::size_t count)>;
    // append for a chunk of `length` bytes that `contents` supplies a block
    // of a few MiB at a time, so a chunk of any size costs bounded memory.
    virtual void appendStreamed(FourCC id, std::uint64_t length, const ContentSource& contents) = 0;

    // Flushes what append wrote to the device and closes the file, reporting
    // a failure. The destructor closes too but cannot report.
    virtual void close() = 0;
};

}  // namespace twinfold
