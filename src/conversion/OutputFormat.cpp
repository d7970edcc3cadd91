#include "conversion/OutputFormat.h"

#include <cmath>

namespace twinfold {

int outputBitDepth(int storedBits) {
    if (storedBits <= 0) return 24;
    if (storedBits >= 32) return 32;
    return (storedBits + 7) / 8 * 8;
}

bool keepsFloatSamples(int storedBits, float peak) { return storedBits > 32 ? peak >= 1.0f : peak > 1.0f; }

std::optional<float> normalizationGain(float targetdBFS, float peak) {
    if (!(peak > 0.001f)) return std::nullopt;
    return std::pow(10.0f, targetdBFS / 20.0f) / peak;
}

}  // namespace twinfold
