#pragma once

// Short, deterministic, music-like material for the demo library: plucked
// notes over a quiet noise floor, as integer samples on the grid of a bit
// depth, so that identical, inverted and scaled channels are exactly what
// their names say once written.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace twinfold::cli {

// One channel of integer samples (k in [−2^(bits−1), 2^(bits−1)−1]).
using IntSignal = std::vector<std::int32_t>;

struct Melody {
    std::vector<double> frequencies;  // one note after another, in Hz
    double noteSeconds = 0.5;
    double level = 0.4;      // peak of a note, full scale 1.0
    std::uint32_t seed = 1;  // of the noise floor
};

IntSignal synthesize(const Melody& melody, std::size_t frames, double sampleRate, int bits);

IntSignal scaledSignal(const IntSignal& signal, double gain);
IntSignal invertedSignal(const IntSignal& signal);
IntSignal silentSignal(std::size_t frames);

// Full-scale floats (k / 2^(bits−1)) for encoders that take float input.
std::vector<float> toFloat(const IntSignal& signal, int bits);

}  // namespace twinfold::cli
