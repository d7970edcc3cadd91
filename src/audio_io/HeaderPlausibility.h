#pragma once

#include <filesystem>
#include <string>

namespace twinfold::detail {

// The widest shapes a real recording takes. A header outside them is damage
// (a corrupted AIFF rate reads as 0, infinite or not a number, which
// libsndfile turns into 1 Hz or 67 MHz), and trusting it would make every
// later step (analysis windows, output headers) work on nonsense.
constexpr double kMinPlausibleRate = 1.0;
constexpr double kMaxPlausibleRate = 1'536'000.0;
constexpr long kMaxPlausibleChannels = 1024;

// Why the value makes no sense ("sample rate 0 Hz is not plausible"), or
// empty when it is plausible.
std::string implausibleRate(double rate);
std::string implausibleChannels(long channels);
// For interleaved integer or float PCM, where a frame is exactly
// channels × ceil(bits / 8) bytes.
std::string implausibleBlockAlign(long blockAlign, long channels, long bits);

// Throws AudioIOError "<path>: <reason>" for an implausible rate or channel count.
void requirePlausibleShape(const std::filesystem::path& path, double rate, long channels);

// Reads the format chunk of the WAV, RF64, AIFF or AIFF-C file open on `fd`
// (with pread) as it is declared, before a library rounds or rejects it, and
// throws AudioIOError "<path>: <reason>" for a rate, channel count or (for
// WAV PCM) block align that makes no sense. A file whose chunks cannot be
// framed at all is left to the decoder to report.
void requirePlausibleDeclaredHeader(int fd, const std::filesystem::path& path);

}  // namespace twinfold::detail
