#pragma once

#include <optional>

namespace twinfold {

// The integer PCM depth an output gets for a source that stores
// `storedBits` bits per sample. Outputs are always integer PCM, so:
//   16, 24, 32 (integer or float)  → kept (32-bit float becomes 32-bit integer)
//   8                              → 8 (kept: widening would invent bits)
//   64 (double)                    → 32, the widest integer the writer has
//   not a whole byte (12, 20, …)   → rounded up to whole bytes, so no stored bit is lost
//   0 / unknown                    → 24
int outputBitDepth(int storedBits);

// The gain that brings a channel whose peak magnitude is `peak` to
// `targetdBFS`: 10^(target/20) / peak. None (write unscaled) when the peak is
// at or below 0.001 (−60 dBFS), where scaling would only amplify noise.
std::optional<float> normalizationGain(float targetdBFS, float peak);

}  // namespace twinfold
