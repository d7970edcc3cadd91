#pragma once

// What a scan found, gathered once from the view model so that the text and
// the JSON formatter print exactly the same data.

#include "records/ScanResult.h"

#include <cstdint>
#include <vector>

namespace twinfold {
class ScanViewModel;
}

namespace twinfold::cli {

struct SummaryFigures {
    int totalFiles = 0;
    int dualMono = 0;
    int pannedMono = 0;
    int phaseInverted = 0;
    int silentChannel = 0;  // exactly one channel silent
    int noAudio = 0;
    int multichannel = 0;
    int trueStereo = 0;
    std::int64_t totalPotentialSavings = 0;
};

struct ScanReport {
    std::vector<ScanResult> results;  // in the view model's order
    SummaryFigures summary;
};

ScanReport makeScanReport(const ScanViewModel& viewModel);

}  // namespace twinfold::cli
