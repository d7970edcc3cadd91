#include "ConversionPlan.h"

#include "audio_io/AudioFormat.h"
#include "conversion/OutputNaming.h"
#include "workflow/ConversionRunner.h"

namespace twinfold::cli {

namespace fs = std::filesystem;

namespace {

std::vector<fs::path> pairOutputs(const ScanResult& r, const ConversionPlan& plan) {
    if (r.isPhaseInverted && plan.phaseFixOption == PhaseFixOption::splitToTwo) {
        const OutputPair two = pairSplitOutputURLs(r, plan.settings);
        return {two.left, two.right};
    }
    return {pairOutputURL(r, plan.settings)};
}

std::vector<fs::path> multichannelOutputs(const ScanResult& r, const ConversionPlan& plan) {
    if (plan.multichannelOption == MultichannelConversionOption::removeRedundant)
        return {outputURL(r.fileInfo.url, plan.settings)};
    std::vector<fs::path> outputs;
    for (int c = 0; c < r.fileInfo.channelCount; ++c)
        outputs.push_back(channelFileURL(r.fileInfo.url, plan.settings, c, r.fileInfo.channelCount));
    return outputs;
}

std::vector<fs::path> stereoOutputs(const ScanResult& r, const ConversionPlan& plan) {
    if (r.isPannedMono && plan.settings.includePanInFilename)
        return {outputURL(r.fileInfo.url, plan.settings, panSuffix(r))};
    if (r.isPhaseInverted && plan.phaseFixOption == PhaseFixOption::splitToTwo) {
        const OutputPair two = splitOutputURLs(r.fileInfo.url, plan.settings);
        return {two.left, two.right};
    }
    return {outputURL(r.fileInfo.url, plan.settings)};
}

void add(ConversionPlan& plan, const std::vector<ScanResult>& group) {
    for (const ScanResult& r : group) {
        std::vector<fs::path> outputs = r.multichannelAnalysis ? multichannelOutputs(r, plan)
                                        : r.pairedFileURL      ? pairOutputs(r, plan)
                                                               : stereoOutputs(r, plan);
        plan.entries.push_back({r, std::move(outputs)});
    }
}

}  // namespace

ConversionPlan makeConversionPlan(const std::vector<ScanResult>& selected, const AppSettings& settings,
                                  PhaseFixOption phaseFixOption, MultichannelConversionOption multichannelOption,
                                  const std::optional<fs::path>& scannedFolder) {
    ConversionPlan plan;
    plan.settings = settings;
    plan.phaseFixOption = phaseFixOption;
    plan.multichannelOption = multichannelOption;
    plan.scannedFolder = scannedFolder;
    // The order in which the conversion works through the kinds.
    const ConversionGroups groups = groupForConversion(selected);
    for (const auto* group : {&groups.dualMono, &groups.pannedMono, &groups.silentChannel, &groups.phaseInverted,
                              &groups.splitPairs, &groups.multichannel})
        add(plan, *group);
    for (const ScanResult& r : selected) {
        plan.hasLossySources |= r.fileInfo.sourceFormatID != kFormatLinearPCM;
        plan.hasPhaseInverted |= r.isPhaseInverted;
        plan.hasRemovableChannels |=
            r.multichannelAnalysis && !r.multichannelAnalysis->removableChannelIndices().empty();
    }
    return plan;
}

}  // namespace twinfold::cli
