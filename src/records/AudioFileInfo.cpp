#include "records/AudioFileInfo.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace twinfold {

std::string lowerExtension(const std::filesystem::path& path) {
    std::string ext = path.extension().string();
    if (!ext.empty()) ext.erase(0, 1);
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

namespace fs = std::filesystem;

SplitStereoError::SplitStereoError(Case c) : std::runtime_error(description(c)), case_(c) {}

const char* SplitStereoError::description(Case c) {
    switch (c) {
    case Case::mismatchedSampleRate: return "Split stereo pair has mismatched sample rates";
    case Case::mismatchedFrameCount: return "Split stereo pair has mismatched frame counts";
    case Case::mismatchedBitDepth: return "Split stereo pair has mismatched bit depths";
    case Case::invalidFilename: return "Split stereo file has an invalid .L/.R filename";
    case Case::notMono: return "Split stereo file has more than one channel";
    }
    return "";
}

std::string AudioFileInfo::sampleRateText() const {
    double r = sampleRate / 1000.0;
    if (!std::isfinite(r)) return "0k";
    char text[64];
    if (r == std::trunc(r) && std::fabs(r) < 9.0e18) {
        std::snprintf(text, sizeof text, "%lld", static_cast<long long>(r));
        return std::string(text) + "k";
    }
    auto [end, ec] = std::to_chars(text, text + sizeof text, r);
    if (ec != std::errc()) return "0k";
    return std::string(text, end) + "k";
}

std::string AudioFileInfo::durationText() const {
    if (!std::isfinite(duration) || std::fabs(duration) >= 9.0e18) return "0:00";
    long long s = static_cast<long long>(duration);
    char text[64];
    std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
    return text;
}

}  // namespace twinfold
