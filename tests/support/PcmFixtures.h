#pragma once

// PCM audio files for tests, written and read straight through libsndfile
// (never through twinfold's own reader or writer), so they serve as an
// independent oracle.
//
// Samples are given as planar `double` values, full scale ±1.0. For integer
// encodings every value must lie on the encoding's grid, k / 2^(bits−1) with
// k in [−2^(bits−1), 2^(bits−1)−1]; then the file holds exactly those values
// and comparisons can be exact. Every generator below returns values on the
// grid of the encoding it is given; writePcm rejects a value off the grid.
//
// Typical use:
//
//   TempDir dir;
//   const PcmFormat fmt{PcmContainer::wav, PcmEncoding::int24, 48000};
//   writePcm(dir / "dual.wav", fmt, stereo(StereoKind::dualMono, 48000, fmt.encoding));
//   writePcm(dir / "empty.aif", {PcmContainer::aiff}, Channels(2));   // 2 channels, 0 frames
//   ChannelPlan plan{6, {{1, 2}}, {5}};     // channel 2 repeats channel 1, channel 5 silent
//   writePcm(dir / "6ch.wav", fmt, multichannel(plan, 1000, fmt.encoding));
//   auto ints = readStoredInts(dir / "dual.wav");   // [channel][frame], left-justified

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

struct sf_private_tag;

namespace twinfold::test {

enum class PcmEncoding { int8, int16, int24, int32, float32, float64 };

enum class PcmContainer {
    wav,   // RIFF/WAVE; 8-bit samples unsigned
    aiff,  // "FORM"/"AIFF", big-endian; float encodings make libsndfile write AIFF-C ('fl32'/'fl64')
    aifc,  // "FORM"/"AIFC"; integers little-endian ('sowt'), floats 'fl32'/'fl64'; no 8-bit
    rf64,  // "RF64" header even for a small file
};

int bitsOf(PcmEncoding encoding);  // 8, 16, 24, 32, 32, 64
bool isFloat(PcmEncoding encoding);

struct PcmFormat {
    PcmContainer container = PcmContainer::wav;
    PcmEncoding encoding = PcmEncoding::int16;
    int sampleRate = 48000;
};

using Signal = std::vector<double>;    // one channel
using Channels = std::vector<Signal>;  // planar, every channel the same length

// ---- writing ---------------------------------------------------------------

// Writes (replacing) a file with channels.size() channels. Empty signals give
// a zero-length file. Throws std::runtime_error (libsndfile's message) or
// std::invalid_argument (a value off the grid, ragged channels).
void writePcm(const std::filesystem::path& path, const PcmFormat& format, const Channels& channels);

// The same in pieces, for files too long to hold in memory.
class PcmFileWriter {
public:
    PcmFileWriter(const std::filesystem::path& path, const PcmFormat& format, int channelCount);
    ~PcmFileWriter();
    PcmFileWriter(const PcmFileWriter&) = delete;
    PcmFileWriter& operator=(const PcmFileWriter&) = delete;

    void append(const Channels& block);
    void close();

private:
    PcmFormat format_;
    int channels_;
    sf_private_tag* file_ = nullptr;
};

struct SplitPair {
    std::filesystem::path left, right;
};
// Writes `<dir>/<stem>.L<extension>` and `<dir>/<stem>.R<extension>`,
// e.g. writeSplitPair(dir, "Kick", ".wav", fmt, l, r) → Kick.L.wav, Kick.R.wav.
SplitPair writeSplitPair(const std::filesystem::path& dir, const std::string& stem, const std::string& extension,
                         const PcmFormat& format, const Signal& left, const Signal& right);

// Writes interleaved left-justified integers straight through libsndfile;
// `format` is libsndfile's (SF_FORMAT_…). Throws std::runtime_error.
void writeSndfile(const std::filesystem::path& path, int format, int channels, int rate,
                  const std::vector<int>& interleaved);

// A stereo WAV in an encoding libsndfile stores but that is not linear PCM
// (SF_FORMAT_ULAW, SF_FORMAT_ALAW, SF_FORMAT_IMA_ADPCM, …): 4000 frames of a
// fixed sawtooth-like pattern at 48 kHz. Throws std::runtime_error on failure.
void writeCodedWav(const std::filesystem::path& path, int sndfileEncoding);

// ---- signals (values on the grid of `encoding`) ------------------------------

// The grid value nearest to `value`, clipped to the encoding's range
// (integers: [−1, 1 − 2^−(bits−1)]); floats are rounded to float32/kept.
double quantize(double value, PcmEncoding encoding);

// Uniform noise in [−amplitude, amplitude]; the same seed gives the same samples.
Signal noise(std::size_t frames, PcmEncoding encoding, std::uint32_t seed, double amplitude = 0.5);
Signal dc(std::size_t frames, double value, PcmEncoding encoding);
Signal silence(std::size_t frames);
// Every sample × gain, re-quantised (so only approximately a scaled copy).
Signal scaled(const Signal& signal, double gain, PcmEncoding encoding);

enum class StereoKind {
    dualMono,       // L == R
    panned,         // R = L × panGain (re-quantised)
    phaseInverted,  // R = −L (−1.0 clips to the largest positive value)
    leftSilent,     // L all zero, R noise
    rightSilent,    // L noise, R all zero
    bothSilent,     // both all zero
    trueStereo,     // L and R independent noise
};
// Two channels of noise (seeded) shaped by `kind`.
Channels stereo(StereoKind kind, std::size_t frames, PcmEncoding encoding, std::uint32_t seed = 1,
                double panGain = 0.5);

// An N-channel file: independent noise per channel, then each duplicate
// {source, copy} makes channel `copy` a bit-identical copy of `source`, then
// the silent channels are zeroed (last, so a silent source stays silent only
// where listed).
struct ChannelPlan {
    int channelCount = 6;
    std::vector<std::pair<int, int>> duplicates;
    std::vector<int> silent;
};
Channels multichannel(const ChannelPlan& plan, std::size_t frames, PcmEncoding encoding, std::uint32_t seed = 1);

// A 440 Hz sine at 0.5 on the left; on the right the same sine at 0.35 and,
// in `mix`, a 1500 Hz sine at 0.045 of its own (2 s at 48 kHz): a mix that
// reads as a pan unless its residual is measured, or (without `mix`) a pan.
Channels panOf440(PcmEncoding encoding, bool mix);

// ---- reading (the oracle) ------------------------------------------------------

struct PcmFileInfo {
    int format = 0;  // libsndfile's SF_INFO.format (container | encoding | endianness)
    int sampleRate = 0;
    int channels = 0;
    std::int64_t frames = 0;
};
PcmFileInfo pcmFileInfo(const std::filesystem::path& path);

// The stored integers of an integer-PCM file, left-justified in 32 bits
// (sf_readf_int), as [channel][frame].
std::vector<std::vector<std::int32_t>> readStoredInts(const std::filesystem::path& path);
// libsndfile's float decode (sf_readf_float), as [channel][frame].
std::vector<std::vector<float>> readFloats(const std::filesystem::path& path);
// libsndfile's double decode (sf_readf_double): a float file's samples exactly.
std::vector<std::vector<double>> readDoubles(const std::filesystem::path& path);

// The left-justified integer a grid value is stored as (value · 2^31).
std::int32_t storedInt(double value, PcmEncoding encoding);
// The left-justified integers of a whole signal.
std::vector<std::int32_t> storedInts(const Signal& signal, PcmEncoding encoding);

}  // namespace twinfold::test
