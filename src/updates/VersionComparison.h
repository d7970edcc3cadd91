#pragma once

#include <string_view>

namespace twinfold {

// True when `candidate` is strictly newer than `current`. Both are split at
// "."; empty pieces are dropped, and so is any piece that is not a whole
// signed 64-bit decimal (optional leading "+" or "-"), so later pieces move
// left (1.x.3 reads as 1.3). The components compare as numbers with missing
// ones counted as zero: 1.2 == 1.2.0, 1.10 > 1.9.
bool isNewerVersion(std::string_view candidate, std::string_view current);

}  // namespace twinfold
