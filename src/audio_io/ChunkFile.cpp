#include "audio_io/ChunkFile.h"

#include "audio_io/AudioIOError.h"
#include "audio_io/ByteOrder.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <string>
#include <unistd.h>

namespace twinfold {

namespace {

std::string systemMessage(const std::string& action) { return action + ": " + std::strerror(errno); }

[[noreturn]] void failSystem(const std::filesystem::path& path, const std::string& action) {
    throw AudioIOError(path.string() + ": " + systemMessage(action));
}

// Big chunks are copied and compared in blocks of this size.
constexpr std::size_t kBlockBytes = std::size_t(4) << 20;

void writeAll(int fd, std::uint64_t offset, const std::uint8_t* data, std::size_t count,
              const std::filesystem::path& path) {
    while (count > 0) {
        const ssize_t done = ::pwrite(fd, data, count, off_t(offset));
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) failSystem(path, "cannot write");
        data += done;
        offset += std::uint64_t(done);
        count -= std::size_t(done);
    }
}

class PosixChunkFile : public ChunkFile {
public:
    PosixChunkFile(const std::filesystem::path& path, bool writable)
        : path_(path), writable_(writable), source_(-1, 0) {
        fd_ = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
        if (fd_ < 0) failSystem(path, "cannot open");
        try {
            source_ = FileByteSource::ofRegularFile(fd_);
            layout_ = parseChunkLayout(source_);
        } catch (const AudioIOError& error) {
            ::close(fd_);
            throw AudioIOError(path.string() + ": " + error.what());
        } catch (...) {
            ::close(fd_);
            throw;
        }
    }

    ~PosixChunkFile() override {
        if (fd_ >= 0) ::close(fd_);
    }

    ChunkContainer container() const override { return layout_.container; }
    const std::vector<ChunkEntry>& chunks() const override { return layout_.chunks; }
    int bitsPerChannel() const override { return layout_.bitsPerChannel; }

    std::uint32_t count(FourCC id) const override {
        std::uint32_t n = 0;
        for (const ChunkEntry& chunk : layout_.chunks) n += chunk.id == id ? 1 : 0;
        return n;
    }

    std::uint64_t size(FourCC id, std::uint32_t index) const override { return find(id, index).size; }

    std::vector<std::uint8_t> read(FourCC id, std::uint32_t index) const override {
        // The size was checked against the file's length when it was opened.
        std::vector<std::uint8_t> data(find(id, index).size);
        readPart(id, index, 0, data.data(), data.size());
        return data;
    }

    void readPart(FourCC id, std::uint32_t index, std::uint64_t offset, void* destination,
                  std::size_t count) const override {
        const ChunkEntry& chunk = find(id, index);
        if (offset > chunk.size || count > chunk.size - offset)
            throw AudioIOError(path_.string() + ": a read past the end of chunk '" + fourCCText(id) + "'");
        requireOpen();
        try {
            source_.readAt(chunk.dataOffset + offset, destination, count);
        } catch (const AudioIOError& error) {
            throw AudioIOError(path_.string() + ": " + error.what());
        }
    }

    void appendStreamed(FourCC id, std::uint64_t length, const ContentSource& contents) override;
    void close() override;

private:
    const ChunkEntry& find(FourCC id, std::uint32_t index) const {
        std::uint32_t seen = 0;
        for (const ChunkEntry& chunk : layout_.chunks)
            if (chunk.id == id && seen++ == index) return chunk;
        throw AudioIOError(path_.string() + ": no chunk '" + fourCCText(id) + "' with index " + std::to_string(index));
    }

    void requireOpen() const {
        if (fd_ < 0) throw AudioIOError(path_.string() + ": the chunk file is closed");
    }

    void checkAppend(FourCC id, std::uint64_t newEnd) const;
    void writeChunk(FourCC id, std::uint64_t length, const ContentSource& contents);
    void writeContainerSize(std::uint64_t newEnd);

    std::filesystem::path path_;
    bool writable_;
    bool written_ = false;
    int fd_ = -1;
    FileByteSource source_;
    ChunkLayout layout_;
};

void PosixChunkFile::checkAppend(FourCC id, std::uint64_t newEnd) const {
    requireOpen();
    if (!writable_) throw AudioIOError(path_.string() + ": the chunk file was opened read-only");
    if (!isPrintableFourCC(id)) throw AudioIOError(path_.string() + ": invalid chunk id '" + fourCCText(id) + "'");
    // A chunk after a cut-off audio chunk would be swallowed by the audio
    // chunk's declared length.
    if (layout_.audioClipped)
        throw AudioIOError(path_.string() + ": the audio data is cut short; no chunk can be added after it");
    if (layout_.trailingBytes > 0)
        throw AudioIOError(path_.string() + ": " + std::to_string(layout_.trailingBytes) +
                           " bytes after the last chunk are no chunk; a chunk added there would overwrite them");
    if (layout_.container != ChunkContainer::rf64 && newEnd - 8 > std::numeric_limits<std::uint32_t>::max())
        throw AudioIOError(path_.string() + ": the chunk would make the file larger than its 32-bit size allows");
}

void PosixChunkFile::appendStreamed(FourCC id, std::uint64_t length, const ContentSource& contents) {
    if (length > std::numeric_limits<std::uint32_t>::max())
        throw AudioIOError(path_.string() + ": a chunk of " + std::to_string(length) +
                           " bytes does not fit a 32-bit length");
    const std::uint64_t newEnd = layout_.contentEnd + 8 + length + (length & 1);
    checkAppend(id, newEnd);

    const std::uint64_t oldSize = source_.size();
    written_ = true;
    try {
        writeChunk(id, length, contents);
        writeContainerSize(newEnd);
    } catch (...) {
        // Leave the file as it was rather than with a half-written chunk.
        [[maybe_unused]] const int ignored = ::ftruncate(fd_, off_t(oldSize));
        throw;
    }
    layout_.chunks.push_back({id, layout_.contentEnd + 8, length});
    layout_.contentEnd = newEnd;
    layout_.padMissing = false;
    source_.setSize(newEnd);
}

// Header, contents and pad byte go in before the container size changes, so
// an interrupted append leaves a file whose header still describes it.
void PosixChunkFile::writeChunk(FourCC id, std::uint64_t length, const ContentSource& contents) {
    std::uint8_t header[8];
    storeBE(header, id, 4);
    if (layout_.isAiff()) {
        storeBE(header + 4, length, 4);
    } else {
        storeLE(header + 4, length, 4);
    }
    const std::uint8_t zero = 0;
    const std::uint64_t start = layout_.contentEnd;
    if (layout_.padMissing) writeAll(fd_, start - 1, &zero, 1, path_);
    writeAll(fd_, start, header, sizeof header, path_);
    std::vector<std::uint8_t> block(std::min<std::uint64_t>(length, kBlockBytes));
    for (std::uint64_t done = 0; done < length;) {
        const auto count = std::size_t(std::min<std::uint64_t>(length - done, block.size()));
        contents(done, block.data(), count);
        writeAll(fd_, start + 8 + done, block.data(), count, path_);
        done += count;
    }
    if (length & 1) writeAll(fd_, start + 8 + length, &zero, 1, path_);
}

void PosixChunkFile::writeContainerSize(std::uint64_t newEnd) {
    const std::uint64_t formSize = newEnd - 8;
    // RF64 keeps its size in 64 bits inside 'ds64'.
    const int width = layout_.container == ChunkContainer::rf64 ? 8 : 4;
    std::uint8_t field[8];
    if (layout_.isAiff()) {
        storeBE(field, formSize, width);
    } else {
        storeLE(field, formSize, width);
    }
    writeAll(fd_, layout_.sizeFieldOffset, field, std::size_t(width), path_);
}

void PosixChunkFile::close() {
    if (fd_ < 0) return;
    const int fd = fd_;
    fd_ = -1;
    // Write errors the kernel deferred surface at close; forcing the data to
    // the device is the workflow's single sync before originals are touched.
    if (::close(fd) != 0 && written_) failSystem(path_, "cannot close");
}

}  // namespace

void ChunkFile::append(FourCC id, const std::vector<std::uint8_t>& data) {
    appendStreamed(id, data.size(), [&data](std::uint64_t offset, std::uint8_t* block, std::size_t count) {
        std::memcpy(block, data.data() + offset, count);
    });
}

std::unique_ptr<ChunkFile> ChunkFile::open(const std::filesystem::path& path, bool writable) {
    return std::make_unique<PosixChunkFile>(path, writable);
}

}  // namespace twinfold
