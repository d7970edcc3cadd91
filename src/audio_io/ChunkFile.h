#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

namespace twinfold {

enum class ChunkContainer { riff, rf64, aiff, aifc };

// One chunk of a RIFF/WAVE, RF64 or AIFF/AIFF-C file, by position.
struct ChunkEntry {
    std::uint32_t id = 0;           // four-character code, first char in the high byte
    std::uint64_t dataOffset = 0;   // file offset of the chunk's contents
    std::uint64_t size = 0;         // the declared (true) length of the contents
};

// Structure-aware access to the chunks of a RIFF/WAVE, RF64 or AIFF/AIFF-C
// file, without loading the audio. Opening validates the whole chunk list:
// a chunk that runs past the end of the file or a lying header is an error
// (AudioIOError), never an over-read.
class ChunkFile {
public:
    static std::unique_ptr<ChunkFile> open(const std::filesystem::path& path, bool writable);
    virtual ~ChunkFile() = default;

    virtual ChunkContainer container() const = 0;
    virtual const std::vector<ChunkEntry>& chunks() const = 0;

    // Occurrences of `id`, in file order; index counts from 0.
    virtual std::uint32_t count(std::uint32_t id) const = 0;
    virtual std::uint64_t size(std::uint32_t id, std::uint32_t index) const = 0;  // throws if absent
    virtual std::vector<std::uint8_t> read(std::uint32_t id, std::uint32_t index) const = 0;

    // Bits per sample from the format chunk ("fmt " or "COMM"), 0 if unknown.
    virtual int bitsPerChannel() const = 0;

    // Appends a chunk at the end of the file in place: writes the header and
    // contents, pads odd lengths with one zero byte (the length field keeps
    // the true length) and fixes the container size. Needs `writable`.
    virtual void append(std::uint32_t id, const std::vector<std::uint8_t>& data) = 0;
};

}  // namespace twinfold
