#pragma once

#include <cstddef>
#include <cstdint>

namespace twinfold {

// Multiplies each sample by `factor` in single precision and rounds the
// product, a float with full scale ±1.0, to the integer grid of a `bits`-deep
// file (8, 16, 24 or 32), left-justified in 32 bits. The rule is the audio
// writer's for float samples, to the bit: nearest value with ties to even,
// clipped to the grid's range, NaN to 0. Doing it here, in one pass with the
// gain, lets scaled samples go to the writer as integers; the writer's own
// float path rounds in double precision and costs more than the scaling.
void scaleToGrid(const float* in, std::size_t count, float factor, int bits, std::int32_t* out);

// The same for left-justified integer samples (full scale ±2^31): each is
// converted to float first, so `factor` includes the 2^−31 of full scale.
void scaleToGrid(const std::int32_t* in, std::size_t count, float factor, int bits, std::int32_t* out);

}  // namespace twinfold
