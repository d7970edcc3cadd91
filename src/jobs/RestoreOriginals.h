#pragma once

// Undoing a conversion's backup: every original recorded in a backup
// folder's manifest goes back to where it came from, and, when asked, the
// outputs written from it go, but only while they are still exactly as
// written. Nothing is ever replaced or deleted that the record does not
// vouch for. A plain function, usable from the command line and the window.

#include <filesystem>
#include <string>
#include <vector>

namespace twinfold {

struct RestoreReport {
    std::vector<std::filesystem::path> restored;        // originals back in place
    std::vector<std::filesystem::path> outputsRemoved;  // with removeOutputs
    // Originals not restored (a file in their place, missing or changed in
    // the backup) and outputs kept because they changed; one line each.
    std::vector<std::string> problems;
    bool backupFolderRemoved = false;  // everything was restored, the emptied folder went
};

// Restores the originals recorded in `backupFolder` (a "Twinfold Backup …"
// folder) into its parent folder, each at its recorded relative path,
// creating missing subfolders and never replacing a file. An original whose
// bytes no longer match the record stays in the backup. With
// `removeOutputs`, an output is deleted once every original it was written
// from is back, if its SHA-256 still matches the record; a changed output is
// kept and reported. When every original is back, the manifest and the
// emptied backup folder are removed. Throws std::system_error when the
// manifest cannot be read.
RestoreReport restoreOriginals(const std::filesystem::path& backupFolder, bool removeOutputs);

}  // namespace twinfold
