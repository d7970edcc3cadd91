#pragma once

#include "conversion/ConversionPlan.h"
#include "records/AppSettings.h"
#include "records/ScanResult.h"

#include <cstdint>
#include <vector>

namespace twinfold {

// What converting `results` with these choices would change on disk, once
// the originals are gone (deleted, or moved off to the backup).
struct SavingsEstimate {
    std::int64_t sourceBytes = 0;  // the originals converted
    std::int64_t outputBytes = 0;  // the files written in their place
    std::int64_t saved() const { return sourceBytes - outputBytes; }
};

// The size of one planned output: a PCM output is the source's header and
// metadata (shared between a split pair's files) plus its own samples at the
// width the writer gives them; a compressed source is decoded into 24-bit
// samples behind a plain header. Sample counts come from the duration the
// scan measured, so the figure is within a header's size of the real file.
std::int64_t estimatedOutputBytes(const PlannedConversion& item, const PlannedOutput& output);

// Plans the conversion of `results` as it would run now (skipping nothing).
SavingsEstimate estimateSavings(const std::vector<ScanResult>& results, const AppSettings& settings,
                                const PlanOptions& options);

}  // namespace twinfold
