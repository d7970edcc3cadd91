#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace twinfold {

// The numeric components of a dotted version: pieces split at ".", empty
// pieces dropped, and any piece that is not a whole signed 64-bit decimal
// (optional leading "+" or "-") dropped too, so later pieces move left.
std::vector<std::int64_t> versionComponents(std::string_view version);

// True when `candidate` is strictly newer than `current`, comparing the
// components as numbers with missing ones counted as zero (1.2 == 1.2.0,
// 1.10 > 1.9).
bool isNewerVersion(std::string_view candidate, std::string_view current);

}  // namespace twinfold
