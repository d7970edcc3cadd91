#pragma once

// Hand-built RIFF/WAVE, RF64 and AIFF/AIFF-C files with any extra chunks,
// for tests of chunk reading, appending and metadata preservation.
//
// Typical use:
//
//   ChunkFixture fixture;
//   fixture.samples = {1, -1, 2, -2};            // two stereo frames, 16-bit
//   fixture.before = {bextChunk("Scene 12 take 3"), listInfoChunk({{"INAM", "Take"}})};
//   fixture.after = {ixmlChunk(), listInfoChunk({{"ICMT", "second LIST"}})};
//   writeChunkFixture(dir / "bwf.wav", fixture);
//
// The files are plain, valid files that libsndfile and FFmpeg open: the
// format chunk comes first ('fmt ', or 'FVER' + 'COMM' for AIFF-C; RF64
// starts with 'ds64'), then `before`, the audio chunk, then `after`. Every
// odd-length chunk is followed by one zero pad byte; its length field holds
// the true length. One caveat: libsndfile 1.2's RF64 reader ignores pad
// bytes before the audio chunk, so it cannot open an RF64 fixture with an
// odd-length chunk in `before` (FFmpeg and our chunk reader can); put odd
// RF64 chunks in `after`.

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace twinfold::test {

enum class ChunkFixtureContainer { wave, rf64, aiff, aifc };

struct FixtureChunk {
    std::string id;                  // exactly four characters, e.g. "LIST" or "cue "
    std::vector<std::uint8_t> data;  // the contents, without header or pad byte
};

struct ChunkFixture {
    ChunkFixtureContainer container = ChunkFixtureContainer::wave;
    int sampleRate = 48000;
    int channels = 2;
    int bitsPerSample = 16;             // 16 or 24, integer PCM
    std::vector<std::int32_t> samples;  // interleaved, in the range of bitsPerSample
    std::int64_t silentFrames = 0;      // used when `samples` is empty: this many frames of zeros
    std::vector<FixtureChunk> before;   // between the format chunk and the audio chunk
    std::vector<FixtureChunk> after;    // after the audio chunk, at the end of the file
};

// Writes the file (replacing any file at `path`); throws std::runtime_error
// on a write failure.
void writeChunkFixture(const std::filesystem::path& path, const ChunkFixture& fixture);

// Ready-made payloads with plausible contents.

// Broadcast extension: the 602-byte fixed part (description, originator,
// reference, date, time, time reference, version 2, UMID, loudness fields)
// followed by the coding history text, if any.
FixtureChunk bextChunk(const std::string& description, std::uint64_t timeReference = 0,
                       const std::string& codingHistory = "");
// An iXML document; the default is a short production-sound document.
FixtureChunk ixmlChunk(const std::string& xml = "");
// 'LIST' of type 'INFO' with the given (four-character id, text) entries,
// each text zero-terminated and padded to even length.
FixtureChunk listInfoChunk(const std::vector<std::pair<std::string, std::string>>& entries);
struct AiffMarker {
    std::uint16_t id = 1;
    std::uint32_t position = 0;  // in sample frames
    std::string name;
};
// AIFF 'MARK' with the markers' names as padded Pascal strings.
FixtureChunk markChunk(const std::vector<AiffMarker>& markers);
// AIFF 'ANNO' with the text as it is (no terminator; odd lengths allowed).
FixtureChunk annoChunk(const std::string& text);

// Whole-file helpers for tests that inspect or damage a fixture.
std::vector<std::uint8_t> fileBytes(const std::filesystem::path& path);
void overwriteFileBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

// Size fields written into a file's bytes, little- or big-endian, at `at`.
void putLE32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value);
void putBE32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value);
// Where the four-character id first occurs in `bytes`; throws when nowhere.
std::size_t findId(const std::vector<std::uint8_t>& bytes, const char* id);

}  // namespace twinfold::test
