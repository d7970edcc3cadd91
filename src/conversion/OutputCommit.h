#pragma once

#include <filesystem>

namespace twinfold {

// Every new file is written under a hidden temporary name in its final
// folder and gets its final name only once it is complete and on the device.
// A full disk, a kill or a power cut can then leave at most a hidden
// temporary, never a partial file under a name a rescan (or the user) would
// take for a finished output. The scanner skips hidden names.

// A hidden name in `finalPath`'s folder that is free right now:
// "." + stem + ".twinfold-XXXXXX" + extension. The extension stays last
// because the audio writer picks the container from it. The caller creates
// the file exclusively (O_EXCL), so a name taken in between is never reused.
std::filesystem::path temporaryPathFor(const std::filesystem::path& finalPath);

// Gives the complete temporary its final name: forces its data to the
// device, renames it without ever replacing a file (a no-replace rename,
// or a hard link and an unlink where the file system has none), then syncs the folder's
// entry. A taken final name throws ConversionError::fileExists; other
// failures throw std::filesystem::filesystem_error. On any failure the
// temporary is removed and nothing is left under the final name.
void commitTemporary(const std::filesystem::path& temporary, const std::filesystem::path& finalPath);

}  // namespace twinfold
