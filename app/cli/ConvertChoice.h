#pragma once

// Which scanned files a conversion from the command line takes. Like the
// window, it leaves out originals a conversion put into a "Twinfold Backup"
// folder and panned-mono files that differ from a pan; unlike the window
// there is no check mark to tick, so the command line lets the user name a
// backup folder (or file) and pass --include-differing instead.

#include "records/ScanResult.h"
#include "records/Uuid.h"

#include <filesystem>
#include <set>
#include <string>
#include <functional>
#include <vector>

namespace twinfold::cli {

struct ConvertChoice {
    std::set<Uuid> ids;                // the results to convert
    std::vector<std::string> notices;  // for standard error: what was left out, and how to include it
};

// `namedPaths`: the command line's paths, absolute and normalised.
ConvertChoice chooseForConversion(const std::vector<std::reference_wrapper<const ScanResult>>& results,
                                  const std::vector<std::filesystem::path>& namedPaths, bool includeDiffering);

}  // namespace twinfold::cli
