#include "ScanReport.h"

#include "Exclusion.h"
#include "workflow/ScanViewModel.h"

namespace twinfold::cli {

namespace {

// The window's summary figures, counted as its view model counts them.
void count(SummaryFigures& s, const ScanResult& r) {
    ++s.totalFiles;
    s.unreadable += r.unreadableReason.has_value();
    s.dualMono += r.isDualMono;
    s.pannedMono += r.isPannedMono;
    s.phaseInverted += r.isPhaseInverted;
    s.silentChannel += r.silentChannel == SilentChannelStatus::left || r.silentChannel == SilentChannelStatus::right;
    s.noAudio += r.silentChannel == SilentChannelStatus::both;
    s.multichannel += r.multichannelAnalysis.has_value();
    s.trueStereo += r.fileInfo.channelCount == 2 && !r.isDualMono && !r.isPannedMono && !r.isPhaseInverted &&
                    r.silentChannel == SilentChannelStatus::none && !r.multichannelAnalysis;
    if (r.isConvertible()) s.totalPotentialSavings += r.potentialSavings;
}

}  // namespace

ScanReport makeScanReport(const ScanViewModel& viewModel, const Exclusions& exclusions,
                          const std::vector<std::filesystem::path>& namedPaths) {
    ScanReport report;
    for (const ScanResult& r : viewModel.scanResults()) {
        if (isExcluded(r, exclusions, namedPaths)) continue;
        (r.unreadableReason ? report.unreadable : report.results).push_back(r);
        count(report.summary, r);
    }
    return report;
}

std::string unreadableReasonText(const ScanResult& result) {
    std::string reason = result.unreadableReason.value_or("");
    const std::string prefix = result.fileInfo.path.string() + ": ";
    if (reason.starts_with(prefix) && reason.size() > prefix.size()) reason.erase(0, prefix.size());
    return reason;
}

}  // namespace twinfold::cli
