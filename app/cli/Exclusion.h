#pragma once

// Which scanned files --exclude leaves out of a scan's report and a
// conversion.

#include "CommandLine.h"
#include "records/ScanResult.h"

#include <filesystem>
#include <vector>

namespace twinfold::cli {

// Whether a GLOB matches the file's name, its path relative to the named
// folder it lies in, or a folder on the way there; for a split pair either
// file. `namedPaths`: the command line's paths, absolute and normalised.
bool isExcluded(const ScanResult& result, const Exclusions& exclusions,
                const std::vector<std::filesystem::path>& namedPaths);

}  // namespace twinfold::cli
