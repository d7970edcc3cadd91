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

std::optional<int> onlyAudibleChannel(const ScanResult& result) {
    if (result.silentChannel == SilentChannelStatus::left) return 1;
    if (result.silentChannel == SilentChannelStatus::right) return 0;
    return std::nullopt;
}

std::optional<float> normalizationTarget(const AppSettings& settings) {
    return settings.normalizationEnabled ? std::optional(settings.normalizationTargetdBFS) : std::nullopt;
}

}  // namespace twinfold
