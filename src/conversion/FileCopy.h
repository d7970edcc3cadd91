#pragma once

#include <filesystem>
#include <functional>

namespace twinfold {

// Copies `from` to a new file `to`, byte for byte, with `from`'s permission
// bits. The target is created exclusively, so an existing file (even one
// that appears after a check) is never replaced. `beforeBlock` runs before each
// block of the copy and may throw to stop it; the partial copy is then
// deleted. Other failures throw std::filesystem::filesystem_error with the
// system's message and leave the partial copy.
void copyFileExclusive(const std::filesystem::path& from, const std::filesystem::path& to,
                       const std::function<void()>& beforeBlock = {});

}  // namespace twinfold
