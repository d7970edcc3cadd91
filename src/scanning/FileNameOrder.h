#pragma once

#include <filesystem>
#include <vector>

namespace twinfold {

// Sorts by file name (the last path component) as the user's locale collates
// it, the classic locale standing in when the environment names an unusable
// one. Equal names keep their order; digits compare as characters, so
// "Take 10.wav" comes before "Take 2.wav".
void sortByFileName(std::vector<std::filesystem::path>& paths);

}  // namespace twinfold
