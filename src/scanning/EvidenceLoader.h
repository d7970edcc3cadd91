#pragma once

#include "records/FileEvidence.h"
#include "records/ScanResult.h"

#include <optional>

namespace twinfold {

// The pictures behind a result: from the analysis cache when it holds them,
// otherwise by analysing the file (or split pair) again, which also stores
// them for next time. nullopt when the file cannot be read. Safe to call from
// any thread.
std::optional<EvidencePictures> loadEvidencePictures(const ScanResult& result);

}  // namespace twinfold
