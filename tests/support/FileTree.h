#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace twinfold::test {

// Every file below a folder (its path relative to the folder) with its
// bytes, and every folder with "/" as its contents: two trees are equal
// exactly when they hold the same names and the same bytes.
std::map<std::string, std::string> fileTree(const std::filesystem::path& folder);

std::string fileText(const std::filesystem::path& file);

}  // namespace twinfold::test
