#include "ConversionPlan.h"

#include "audio_io/AudioFormat.h"

namespace twinfold::cli {

PlanSummary summarizePlan(const std::vector<ScanResult>& selected, const RunSettings& run,
                          const std::optional<std::filesystem::path>& scannedFolder) {
    PlanSummary summary{planConversion(selected, run.settings, run.options), run.settings, run.options, run.sources,
                        scannedFolder};
    for (const PlannedConversion& item : summary.plan.items) {
        const ScanResult& r = item.result;
        summary.hasLossySources |= r.fileInfo.sourceFormatID != kFormatLinearPCM;
        summary.hasPhaseInverted |= r.isPhaseInverted;
        summary.hasRemovableChannels |=
            r.multichannelAnalysis && !r.multichannelAnalysis->removableChannelIndices().empty();
    }
    return summary;
}

}  // namespace twinfold::cli
