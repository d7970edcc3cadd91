#include "ScanReport.h"

#include "workflow/ScanViewModel.h"

namespace twinfold::cli {

ScanReport makeScanReport(const ScanViewModel& viewModel) {
    ScanReport report;
    for (const ScanResult& r : viewModel.scanResults())
        (r.unreadableReason ? report.unreadable : report.results).push_back(r);
    SummaryFigures& s = report.summary;
    s.totalFiles = int(viewModel.scanResults().size());
    s.unreadable = int(report.unreadable.size());
    s.dualMono = int(viewModel.dualMonoResults().size());
    s.pannedMono = int(viewModel.pannedMonoResults().size());
    s.phaseInverted = int(viewModel.phaseInvertedResults().size());
    s.silentChannel = int(viewModel.silentChannelResults().size());
    s.noAudio = int(viewModel.noAudioContentResults().size());
    s.multichannel = int(viewModel.multichannelResults().size());
    s.trueStereo = int(viewModel.stereoResults().size());
    s.totalPotentialSavings = viewModel.totalPotentialSavings();
    return report;
}

std::string unreadableReasonText(const ScanResult& result) {
    std::string reason = result.unreadableReason.value_or("");
    const std::string prefix = result.fileInfo.url.string() + ": ";
    if (reason.starts_with(prefix) && reason.size() > prefix.size()) reason.erase(0, prefix.size());
    return reason;
}

}  // namespace twinfold::cli
