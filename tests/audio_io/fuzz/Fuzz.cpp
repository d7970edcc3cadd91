// libFuzzer targets, one for each build of this file; run them through
// scripts/fuzz. Built with TWINFOLD_FUZZ_CHUNK: the RIFF/RF64/AIFF chunk
// parser and appending to whatever it accepts. Otherwise: opening and
// reading a file the way the application does, through openAudioFile
// (libsndfile, or FFmpeg for what it decodes) or, built with
// TWINFOLD_FUZZ_FFMPEG, through the FFmpeg reader alone.

#include "audio_io/AudioIOError.h"
#ifdef TWINFOLD_FUZZ_CHUNK
#include "audio_io/ChunkFile.h"
#include "audio_io/ChunkParser.h"
#else
#include "audio_io/AudioFileReader.h"
#include "audio_io/FfmpegReader.h"
#endif

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/mman.h>
#include <vector>

using namespace twinfold;

namespace {

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// Replaces the scratch file's contents with the input. The file is in
// memory, as every input is written and read back and a disk would make
// that the bottleneck; nameless, so not even a crash leaves it behind. The
// open descriptor keeps it reachable by its /proc name.
const std::filesystem::path& writeScratch(const std::uint8_t* data, std::size_t size) {
    static const std::filesystem::path path = [] {
        const int fd = ::memfd_create("twinfold-fuzz", 0);
        check(fd >= 0, "cannot create a scratch file");
        return std::filesystem::path("/proc/self/fd") / std::to_string(fd);
    }();
    FILE* out = std::fopen(path.c_str(), "wb");
    check(out && std::fwrite(data, 1, size, out) == size && std::fclose(out) == 0, "cannot write scratch file");
    return path;
}

#ifdef TWINFOLD_FUZZ_CHUNK

// What an accepted layout must promise its users: chunks in file order,
// apart from each other, and every byte of them inside the input.
void checkLayout(const ChunkLayout& layout, const MemoryByteSource& source) {
    std::uint64_t previousEnd = 12;
    for (const ChunkEntry& chunk : layout.chunks) {
        check(chunk.dataOffset >= previousEnd + 8, "chunks overlap or are out of order");
        check(chunk.dataOffset <= source.size() && chunk.size <= source.size() - chunk.dataOffset,
              "chunk outside the input");
        std::vector<std::uint8_t> data(chunk.size);
        source.readAt(chunk.dataOffset, data.data(), data.size());
        previousEnd = chunk.dataOffset + chunk.size;
    }
    check(layout.contentEnd >= previousEnd && layout.contentEnd <= source.size() + 1, "bad content end");
    check(layout.trailingBytes == 0 || layout.contentEnd + layout.trailingBytes == source.size(), "bad trailer");
}

// Appending to an accepted file must give a file that parses again and ends
// with the new chunk.
void checkAppend(const std::uint8_t* data, std::size_t size, const ChunkLayout& layout) {
    const auto& path = writeScratch(data, size);
    const std::vector<std::uint8_t> odd = {'f', 'u', 'z'};
    try {
        auto file = ChunkFile::open(path, true);
        file->append(fourCC("fuzz"), odd);
        file->close();
    } catch (const AudioIOError&) {
        check(layout.audioClipped || layout.trailingBytes > 0, "append refused a file that takes a chunk");
        std::ifstream in(path, std::ios::binary);
        const std::vector<std::uint8_t> after(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>{});
        check(after == std::vector<std::uint8_t>(data, data + size), "a refused append wrote");
        return;
    }
    check(!layout.audioClipped && layout.trailingBytes == 0, "append accepted a file that takes no chunk");
    const auto reopened = ChunkFile::open(path, false);
    check(reopened->chunks().size() == layout.chunks.size() + 1, "appended chunk count");
    check(reopened->read(fourCC("fuzz"), reopened->count(fourCC("fuzz")) - 1) == odd, "appended bytes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const MemoryByteSource source(data, size);
    ChunkLayout layout;
    try {
        layout = parseChunkLayout(source);
    } catch (const AudioIOError&) {
        return 0;
    }
    checkLayout(layout, source);
    checkAppend(data, size, layout);
    return 0;
}

#else

std::unique_ptr<AudioFileReader> open(const std::filesystem::path& path) {
#ifdef TWINFOLD_FUZZ_FFMPEG
    return openFfmpegFile(path);
#else
    return openAudioFile(path);
#endif
}

// What an opened reader promises: a plausible shape, and reading from the
// start delivers exactly its length or fails; never a different count.
void readAll(AudioFileReader& reader) {
    check(reader.channelCount() >= 1 && reader.channelCount() <= 1024, "implausible channel count");
    check(std::isfinite(reader.sampleRate()) && reader.sampleRate() >= 1 && reader.sampleRate() <= 1'536'000,
          "implausible sample rate");
    check(reader.length() >= 0, "negative length");
    PCMBuffer buffer(reader.channelCount(), 4096);
    std::int64_t delivered = 0;
    for (reader.read(buffer, 4096); buffer.frameLength() > 0; reader.read(buffer, 4096))
        delivered += buffer.frameLength();
    check(delivered == reader.length(), "read delivered a different length");
    // A seek back must deliver the same again, from any reader.
    reader.seek(0);
    IntPCMBuffer ints(reader.channelCount(), 4096);
    delivered = 0;
    for (reader.readInt(ints, 4096); ints.frameLength() > 0; reader.readInt(ints, 4096))
        delivered += ints.frameLength();
    check(delivered == reader.length(), "readInt delivered a different length");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto& path = writeScratch(data, size);
    try {
        auto reader = open(path);
        readAll(*reader);
    } catch (const AudioIOError&) {}
    return 0;
}

#endif
