#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace twinfold::test {

// Every file below a folder (its path relative to the folder) with its
// bytes, and every folder with "/" as its contents: two trees are equal
// exactly when they hold the same names and the same bytes.
std::map<std::string, std::string> fileTree(const std::filesystem::path& folder);

// The names of the entries of a folder (not below it), sorted.
std::vector<std::string> folderListing(const std::filesystem::path& folder);

std::string fileText(const std::filesystem::path& file);
// prefix + number + suffix, e.g. numbered("take", 3, ".wav") → take3.wav
// (spelt out: g++ 12 at -O3 warns falsely about "literal" + std::to_string(n)).
inline std::string numbered(std::string prefix, long number, const std::string& suffix = "") {
    prefix += std::to_string(number);
    prefix += suffix;
    return prefix;
}

// Writes (replacing) a file holding exactly `text`.
void writeFile(const std::filesystem::path& file, const std::string& text);

}  // namespace twinfold::test
