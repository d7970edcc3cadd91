#pragma once

// What a scan found, gathered once from the view model so that the text and
// the JSON formatter print exactly the same data.

#include "CommandLine.h"
#include "records/ScanResult.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <functional>
#include <vector>

namespace twinfold {
class ScanViewModel;
}

namespace twinfold::cli {

struct SummaryFigures {
    int totalFiles = 0;  // unreadable files included
    int unreadable = 0;
    int dualMono = 0;
    int pannedMono = 0;
    int phaseInverted = 0;
    int silentChannel = 0;  // exactly one channel silent
    int noAudio = 0;
    int multichannel = 0;
    int trueStereo = 0;
    std::int64_t totalPotentialSavings = 0;
};

// The results stay where the view model keeps them: a library of 100,000
// files must not be held twice.
using ResultRefs = std::vector<std::reference_wrapper<const ScanResult>>;

struct ScanReport {
    ResultRefs results;     // the files analysed, in the view model's order
    ResultRefs unreadable;  // the files that could not be, each with its reason
    SummaryFigures summary;
};

// Without the files `exclusions` leave out (`namedPaths`: the command line's
// paths, absolute and normalised).
ScanReport makeScanReport(const ScanViewModel& viewModel, const Exclusions& exclusions = {},
                          const std::vector<std::filesystem::path>& namedPaths = {});

// Why a file could not be read, without the path the audio libraries put in
// front of their messages: the path is printed beside it anyway.
std::string unreadableReasonText(const ScanResult& result);

}  // namespace twinfold::cli
