#pragma once

// Writing sources and reading outputs straight through libsndfile, so the
// converter's results are checked by a reader that is not our own.

#include "support/ChunkFixtures.h"  // fileBytes

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace twinfold::test {

using Bytes = std::vector<std::uint8_t>;

struct SoundFile {
    // SF_FORMAT_* container | subtype | endianness. WAVE_FORMAT_EXTENSIBLE
    // files read as plain SF_FORMAT_WAV: both are WAV files to every reader.
    int format = 0;
    int channels = 0;
    int sampleRate = 0;
    std::int64_t frames = 0;
    std::vector<std::int32_t> samples;  // interleaved, left-justified 32-bit

    std::vector<std::int32_t> channel(int c) const;
};

// Random full-range samples at `bits` (left-justified), including both extremes.
std::vector<std::int32_t> randomSamples(std::size_t count, int bits, unsigned seed);
// Interleaves per-channel sample runs of equal length.
std::vector<std::int32_t> interleave(const std::vector<std::vector<std::int32_t>>& channels);

// Writes integer samples unchanged (sf_writef_int) in any libsndfile format.
void writeSound(const std::filesystem::path& path, int format, int channels,
                const std::vector<std::int32_t>& interleaved, int sampleRate = 48000);
// Writes float samples (sf_writef_double) for float and double subtypes.
void writeSoundDoubles(const std::filesystem::path& path, int format, int channels,
                       const std::vector<double>& interleaved, int sampleRate = 48000);

SoundFile readSound(const std::filesystem::path& path);
std::vector<double> readSoundDoubles(const std::filesystem::path& path);  // interleaved, ±1.0

// Every chunk with this four-character id, in file order, through libsndfile's iterator.
std::vector<Bytes> sndfileChunks(const std::filesystem::path& path, const std::string& id);

// The files in a folder, by name.
std::vector<std::string> folderListing(const std::filesystem::path& folder);

}  // namespace twinfold::test
