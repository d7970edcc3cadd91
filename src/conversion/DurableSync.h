#pragma once

#include <filesystem>

namespace twinfold {

// Forcing files and folder entries to the storage device, so that what a
// power cut leaves behind is what the program believed was written. Each
// returns 0 or an errno value; the caller decides what a failure stops.
// A file system that cannot sync folders (EINVAL, or fusefat's EPERM or
// ENOSYS) has nothing more to do, which counts as success; a folder's
// deferred write errors (EIO, ENOSPC) are still reported.

// Opens `path` with `openFlags` added (O_NOFOLLOW, O_DIRECTORY, …) and syncs it.
int syncPath(const std::filesystem::path& path, int openFlags = 0);
// Syncs the folder open as `folder`.
int syncOpenFolder(int folder);
// Syncs the folder that holds the entry `path` ("." for a bare name).
int syncFolderOf(const std::filesystem::path& path);

}  // namespace twinfold
