#pragma once

// What a conversion is about to do, for the user to read before confirming:
// each selected result in the order it will be converted, with the names of
// the files it will produce, and the options in force.

#include "records/AppSettings.h"
#include "records/ScanResult.h"
#include "workflow/ConversionOptions.h"

#include <filesystem>
#include <optional>
#include <vector>

namespace twinfold::cli {

struct PlanEntry {
    ScanResult result;
    std::vector<std::filesystem::path> outputs;
};

struct ConversionPlan {
    std::vector<PlanEntry> entries;  // in conversion order
    AppSettings settings;
    PhaseFixOption phaseFixOption = PhaseFixOption::useLeft;
    MultichannelConversionOption multichannelOption = MultichannelConversionOption::splitAllToMono;
    std::optional<std::filesystem::path> scannedFolder;  // where a backup folder would go
    bool hasLossySources = false;
    bool hasPhaseInverted = false;
    bool hasRemovableChannels = false;

    int fileCount() const { return int(entries.size()); }
};

ConversionPlan makeConversionPlan(const std::vector<ScanResult>& selected, const AppSettings& settings,
                                  PhaseFixOption phaseFixOption, MultichannelConversionOption multichannelOption,
                                  const std::optional<std::filesystem::path>& scannedFolder);

}  // namespace twinfold::cli
