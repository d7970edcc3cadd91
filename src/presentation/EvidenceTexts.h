#pragma once

#include "records/ScanResult.h"

#include <string>
#include <vector>

namespace twinfold {

// Plain sentences saying why the verdict holds, e.g. "Left and right are
// bit-identical" or "Channel 6 (Lav 2) is silent"; empty when the result
// carries no evidence.
std::vector<std::string> verdictSentences(const ScanResult& result);

}  // namespace twinfold
