#pragma once

#include "records/AppSettings.h"
#include "records/ScanResult.h"

#include <optional>

namespace twinfold {

// The integer PCM depth an output gets for a source that stores
// `storedBits` bits per sample:
//   16, 24, 32 (integer or float)  → kept (32-bit float becomes 32-bit integer)
//   8                              → 8 (kept: widening would invent bits)
//   64 (double)                    → 32, the widest integer the writer has
//   not a whole byte (12, 20, …)   → rounded up to whole bytes, so no stored bit is lost
//   0 / unknown                    → 24
// A float source is the exception when its output would clip (see
// keepsFloatSamples): that output is float at the source's own width.
int outputBitDepth(int storedBits);

// Whether a float source of `storedBits` (32 or 64) bits whose copied
// channels peak at `peak` (as measured through 32-bit floats) must stay
// float: an integer output would clip every sample beyond full scale. A
// double just above 1.0 reads as exactly 1.0 in 32 bits, so for doubles a
// peak of 1.0 counts as beyond it; such a file loses nothing either way.
bool keepsFloatSamples(int storedBits, float peak);

// The gain that brings a channel whose peak magnitude is `peak` to
// `targetdBFS`: 10^(target/20) / peak. None (write unscaled) when the peak is
// at or below 0.001 (−60 dBFS), where scaling would only amplify noise.
std::optional<float> normalizationGain(float targetdBFS, float peak);

// The one side of a stereo file or split pair that is not silent, as a
// channel index: the side an output must keep whatever else is asked. None
// when both sides or neither are silent.
std::optional<int> onlyAudibleChannel(const ScanResult& result);

// The level outputs are normalised to; none when normalisation is off.
std::optional<float> normalizationTarget(const AppSettings& settings);

}  // namespace twinfold
