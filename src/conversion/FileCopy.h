#pragma once

#include <filesystem>
#include <functional>

namespace twinfold {

// Copies `from` to a new file `to`, byte for byte, with `from`'s permission
// bits. The copy is written under a hidden temporary name and renamed to
// `to` only when complete (see OutputCommit.h), never replacing a file there
// (a taken name is ConversionError::fileExists). `beforeBlock` runs before
// each block of the copy and may throw to stop it. Whatever stops the copy,
// nothing of it remains; system failures throw
// std::filesystem::filesystem_error with the system's message.
// Copies every byte from `in` to `out`, from their current positions: in
// the kernel where the file systems allow it, else through a buffer.
// `beforeBlock` runs before each block and may throw to stop the copy.
// Returns 0 or an errno value.
int copyBytes(int in, int out, const std::function<void()>& beforeBlock = {});

void copyFileExclusive(const std::filesystem::path& from, const std::filesystem::path& to,
                       const std::function<void()>& beforeBlock = {});

}  // namespace twinfold
