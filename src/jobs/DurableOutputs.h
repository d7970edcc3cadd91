#pragma once

#include <filesystem>
#include <vector>

namespace twinfold {

// Forces every file's data to the storage device. Each output was synced
// already before it got its name; this is done once more for all outputs
// before any original is moved or deleted, so a power cut cannot leave the
// user with neither and a write error the kernel deferred still stops the
// originals being touched. A failure to sync a file or the folder that names
// it throws std::filesystem::filesystem_error naming the file.
void makeDurable(const std::vector<std::filesystem::path>& files);

}  // namespace twinfold
