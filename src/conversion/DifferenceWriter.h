#pragma once

#include "records/ScanResult.h"

#include <filesystem>

namespace twinfold {

// Whether writeDifferenceWav can serve `result`: a readable two-channel
// stereo file or split pair.
bool hasDifference(const ScanResult& result);

// Writes what a conversion of `result` would leave out, as a 32-bit float WAV
// (so nothing clips) at the source's rate: the dropped side minus the gain
// times the kept side for a panned file, left + right for a phase-inverted
// one, the silent side of a file with one silent channel, left − right
// otherwise (dual mono gives digital silence). Never replaces an existing file; any failure
// throws std::runtime_error naming the file and the reason, and leaves no
// partial output behind.
void writeDifferenceWav(const ScanResult& result, const std::filesystem::path& output);

}  // namespace twinfold
