#include "ScanReport.h"

#include "workflow/ScanViewModel.h"

namespace twinfold::cli {

ScanReport makeScanReport(const ScanViewModel& viewModel) {
    ScanReport report;
    report.results = viewModel.scanResults();
    SummaryFigures& s = report.summary;
    s.totalFiles = int(report.results.size());
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

}  // namespace twinfold::cli
