#pragma once

#include <filesystem>
#include <vector>

namespace twinfold {

// Forces every file's data to the storage device. Writers leave this out so
// that a conversion which keeps its originals stays fast; it is done once for
// all outputs before any original is moved or deleted, so a power cut cannot
// leave the user with neither. Throws std::filesystem::filesystem_error
// naming the file, including for write errors the kernel deferred.
void makeDurable(const std::vector<std::filesystem::path>& files);

}  // namespace twinfold
