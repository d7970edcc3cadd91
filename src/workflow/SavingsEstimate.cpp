#include "workflow/SavingsEstimate.h"

#include "conversion/OutputFormat.h"
#include "records/SourceFormat.h"

#include <algorithm>
#include <cmath>

namespace twinfold {

namespace {

constexpr std::int64_t kPlainWavHeader = 44;

std::int64_t frameCount(const AudioFileInfo& info) {
    const double frames = info.duration * info.sampleRate;
    return std::isfinite(frames) && frames > 0 ? std::int64_t(std::llround(frames)) : 0;
}

int bytesPerSample(int bits) { return (bits + 7) / 8; }

}  // namespace

std::int64_t estimatedOutputBytes(const PlannedConversion& item, const PlannedOutput& output) {
    const AudioFileInfo& info = item.result.fileInfo;
    const std::int64_t frames = frameCount(info);
    const auto channels = std::int64_t(output.sourceChannels.size());
    if (info.sourceFormatID != kFormatLinearPCM) return kPlainWavHeader + frames * channels * 3;
    const int bits = info.storedBits > 0 ? info.storedBits : info.bitDepth;
    const int stored = bytesPerSample(bits);
    const int written = bytesPerSample(outputBitDepth(bits));
    const std::int64_t samples = frames * std::max(info.channelCount, 1) * stored;
    const auto sourceFiles = std::int64_t(std::max<std::size_t>(item.files.size(), 1));
    const std::int64_t overhead = std::max<std::int64_t>(info.fileSize - samples, 0) / sourceFiles;
    return overhead + frames * channels * written;
}

SavingsEstimate estimateSavings(const std::vector<ScanResult>& results, const AppSettings& settings,
                                const PlanOptions& options) {
    SavingsEstimate estimate;
    for (const PlannedConversion& item : planConversion(results, settings, options).items) {
        estimate.sourceBytes += item.result.fileInfo.fileSize;
        for (const PlannedOutput& output : item.outputs) estimate.outputBytes += estimatedOutputBytes(item, output);
    }
    return estimate;
}

}  // namespace twinfold
