#pragma once

#include <filesystem>
#include <vector>

namespace twinfold {

struct SplitStereoPair {
    std::filesystem::path left;
    std::filesystem::path right;

    bool operator==(const SplitStereoPair&) const = default;
};

struct SplitStereoPairResult {
    std::vector<SplitStereoPair> pairs;
    std::vector<std::filesystem::path> unpaired;
};

// Groups mono files named "<base>.L.<ext>" and "<base>.R.<ext>" (marker and
// names compared case-insensitively) that sit in the same folder and share
// the extension. Files that are no candidate come first in `unpaired`, in
// input order, followed by the candidates left without a partner. When two
// candidates claim the same side of one pair (names that differ only in
// case), nothing of that pair is paired: every candidate is listed unpaired.
SplitStereoPairResult findSplitStereoPairs(std::vector<std::filesystem::path> paths);

}  // namespace twinfold
