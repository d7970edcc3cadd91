#pragma once

// What a conversion is about to do, for the user to read before confirming:
// the engine's plan (each selected result in the order it will be converted,
// with the names of the files it will produce and any clash) and the
// options in force.

#include "RunSettings.h"
#include "conversion/ConversionOptions.h"
#include "conversion/ConversionPlan.h"
#include "records/AppSettings.h"

#include <filesystem>
#include <optional>
#include <vector>

namespace twinfold::cli {

struct PlanSummary {
    ConversionPlan plan;
    AppSettings settings;
    PlanOptions options;
    SettingSources sources;
    std::optional<std::filesystem::path> scannedFolder;  // where a backup folder would go
    bool hasLossySources = false;
    bool hasPhaseInverted = false;
    bool hasRemovableChannels = false;

    int fileCount() const { return int(plan.items.size()); }
};

// Throws ConversionError when the settings name no output (a bad suffix).
PlanSummary summarizePlan(const std::vector<ScanResult>& selected, const RunSettings& run,
                          const std::optional<std::filesystem::path>& scannedFolder);

}  // namespace twinfold::cli
