// Large files that are not in the page cache are read past it (O_DIRECT,
// from a read-ahead thread). Those reads must deliver exactly what the
// cached path delivers: every sample, after seeks, and an error, never a
// short count, when the file shrinks underneath.

#include "audio_io/AudioIOError.h"
#include "audio_io/SndfileReader.h"
#include "support/PcmFixtures.h"
#include "support/TempDir.h"
#include "support/Thrown.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <fcntl.h>
#include <fstream>
#include <unistd.h>

namespace twinfold {
namespace {

namespace fs = std::filesystem;

struct Case {
    const char* name;
    int format;  // libsndfile's
    int channels;
    int bytesPerSample;
};

const Case kCases[] = {
    {"24-bit stereo WAV", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 3},
    {"16-bit three-channel AIFF (big-endian)", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 3, 2},
};

// More than the smallest file read past the cache, with a tail that ends
// within a disk block.
std::vector<int> samplesFor(const Case& c) {
    const std::size_t frames = (std::size_t(17) << 20) / std::size_t(c.channels * c.bytesPerSample) + 12'345;
    std::vector<int> samples(frames * std::size_t(c.channels));
    const unsigned keep = ~0u << (32 - 8 * c.bytesPerSample);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = int(std::uint32_t(i * 2654435761u + 12345) & keep);
    return samples;
}

// Drops the file from the page cache; false where it cannot be read past
// the cache at all, so the test would not reach the path it is about.
bool evict(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    const bool dropped = fd >= 0 && ::fdatasync(fd) == 0 && ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0;
    if (fd >= 0) ::close(fd);
    const int direct = ::open(path.c_str(), O_RDONLY | O_DIRECT);
    if (direct >= 0) ::close(direct);
    return dropped && direct >= 0;
}

// Frames [from, from + count) as left-justified integers, interleaved.
std::vector<int> readInts(AudioFileReader& reader, std::int64_t from, std::int64_t count) {
    const int channels = reader.channelCount();
    std::vector<int> out;
    IntPCMBuffer buffer(channels, 100'003);
    reader.seek(from);
    while (std::int64_t(out.size()) < count * channels) {
        reader.readInt(buffer,
                       std::uint32_t(std::min<std::int64_t>(100'003, count - std::int64_t(out.size()) / channels)));
        if (buffer.frameLength() == 0) break;
        for (std::uint32_t f = 0; f < buffer.frameLength(); ++f)
            for (int ch = 0; ch < channels; ++ch) out.push_back(buffer.channel(ch)[f]);
    }
    return out;
}

std::vector<std::uint8_t> readAllStored(AudioFileReader& reader) {
    std::vector<std::uint8_t> bytes(std::size_t(reader.length()) * std::size_t(reader.storedSamples()->bytes) *
                                    std::size_t(reader.channelCount()));
    const std::size_t frameBytes = bytes.size() / std::size_t(reader.length());
    std::size_t frames = 0;
    while (const std::uint32_t n = reader.readStored(bytes.data() + frames * frameBytes, 77'777)) frames += n;
    EXPECT_EQ(frames, std::size_t(reader.length()));
    return bytes;
}

TEST(UncachedReadTest, DeliversWhatTheFileHoldsAndFailsWhenItShrinks) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const fs::path path = dir / "take";
        const std::vector<int> samples = samplesFor(c);
        test::writeSndfile(path, c.format, c.channels, 48000, samples);
        if (!evict(path)) GTEST_SKIP() << "this file system cannot be read past its page cache";
        const auto frames = std::int64_t(samples.size()) / c.channels;

        auto reader = openSndfileFile(path);
        ASSERT_EQ(reader->length(), frames);
        EXPECT_TRUE(readInts(*reader, 0, frames) == samples);
        // Back to a frame within a disk block, then on to the end.
        const std::int64_t from = frames / 3 + 7;
        EXPECT_TRUE(readInts(*reader, from, frames - from) ==
                    std::vector<int>(samples.begin() + from * c.channels, samples.end()));
        reader->seek(0);
        const std::vector<std::uint8_t> uncached = readAllStored(*reader);

        std::ifstream(path, std::ios::binary).ignore(std::numeric_limits<std::streamsize>::max());  // now cached
        EXPECT_TRUE(readAllStored(*openSndfileFile(path)) == uncached);

        ASSERT_TRUE(evict(path));
        reader = openSndfileFile(path);
        fs::resize_file(path, fs::file_size(path) / 2);
        EXPECT_TRUE(test::contains(test::thrownMessage<AudioIOError>([&] { readInts(*reader, 0, frames); }),
                                   "the audio data ended before the file's length"));
    }
}

}  // namespace
}  // namespace twinfold
