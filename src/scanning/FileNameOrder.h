#pragma once

#include <filesystem>
#include <locale>
#include <string>
#include <string_view>
#include <vector>

namespace twinfold {

// Orders file names as the user's locale collates them, the classic locale
// standing in when the environment names an unusable one. Digits compare as
// characters, so "Take 10.wav" comes before "Take 2.wav".
class FileNameCollator {
public:
    FileNameCollator();

    // A key whose plain byte order is the collation order of the names.
    std::string key(std::string_view name) const;

private:
    std::locale locale_;
    const std::collate<char>* collate_;
};

// The positions of `keys` in ascending order; equal keys keep their order.
std::vector<std::size_t> ascendingOrder(const std::vector<std::string>& keys);

// Sorts by file name (the last path component); equal names keep their order.
void sortByFileName(std::vector<std::filesystem::path>& paths);

}  // namespace twinfold
