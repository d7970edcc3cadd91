#include "DemoSignals.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace twinfold::cli {

namespace {

// A small linear congruential generator: the same seed gives the same floor
// on every machine, unlike the distributions of <random>.
class NoiseFloor {
public:
    explicit NoiseFloor(std::uint32_t seed) : state_(seed * 2654435761u + 1) {}
    double next() {
        state_ = state_ * 1664525u + 1013904223u;
        return double(state_ >> 8) / double(1u << 24) * 2.0 - 1.0;
    }

private:
    std::uint32_t state_;
};

double pluck(double t, double frequency) {
    const double envelope = std::min(1.0, t * 200.0) * std::exp(-t * 4.0);
    const double w = 2.0 * std::numbers::pi * frequency * t;
    return envelope * (std::sin(w) + 0.3 * std::sin(2.0 * w) + 0.1 * std::sin(3.0 * w)) / 1.4;
}

std::int32_t quantize(double value, int bits) {
    const double scale = double(std::int64_t(1) << (bits - 1));
    const double k = std::round(value * scale);
    return std::int32_t(std::clamp(k, -scale, scale - 1.0));
}

}  // namespace

IntSignal synthesize(const Melody& melody, std::size_t frames, double sampleRate, int bits) {
    IntSignal out(frames);
    NoiseFloor noise(melody.seed);
    const std::size_t noteFrames = std::max<std::size_t>(1, std::size_t(melody.noteSeconds * sampleRate));
    for (std::size_t i = 0; i < frames; ++i) {
        const std::size_t note = i / noteFrames;
        const double t = double(i - note * noteFrames) / sampleRate;
        const double frequency = melody.frequencies[note % melody.frequencies.size()];
        out[i] = quantize(melody.level * pluck(t, frequency) + 0.003 * noise.next(), bits);
    }
    return out;
}

IntSignal scaledSignal(const IntSignal& signal, double gain) {
    IntSignal out(signal.size());
    std::transform(signal.begin(), signal.end(), out.begin(),
                   [gain](std::int32_t k) { return std::int32_t(std::lround(k * gain)); });
    return out;
}

IntSignal invertedSignal(const IntSignal& signal) {
    // synthesize() never reaches the most negative value, so every negation fits.
    IntSignal out(signal.size());
    std::transform(signal.begin(), signal.end(), out.begin(), [](std::int32_t k) { return -k; });
    return out;
}

IntSignal silentSignal(std::size_t frames) { return IntSignal(frames, 0); }

std::vector<float> toFloat(const IntSignal& signal, int bits) {
    const float scale = float(std::int64_t(1) << (bits - 1));
    std::vector<float> out(signal.size());
    std::transform(signal.begin(), signal.end(), out.begin(), [scale](std::int32_t k) { return float(k) / scale; });
    return out;
}

}  // namespace twinfold::cli
