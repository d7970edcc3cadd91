#pragma once

#include "records/FileEvidence.h"
#include "records/ScanResult.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace twinfold {

// The analysis results of one cached item (a file, or a split pair listed as
// one result or as two) as bytes, and back. Every field the window and the
// command line show is kept; record identifiers are not: results read back
// get fresh ones, as any new analysis would. Bytes that do not decode (a
// damaged or foreign entry) give nothing, never a partial result.
std::string encodeResults(const std::vector<ScanResult>& results);
std::optional<std::vector<ScanResult>> decodeResults(std::string_view bytes);

// The pictures of the same results, in the same order, kept apart so that a
// scan never loads them.
std::string encodePictures(const std::vector<EvidencePictures>& pictures);
std::optional<std::vector<EvidencePictures>> decodePictures(std::string_view bytes);

}  // namespace twinfold
