#pragma once

// What happens to the originals after a successful conversion: moved into a
// dated backup folder (with a record of each, see BackupManifest.h), deleted,
// or left in place.

#include "conversion/ConversionPlan.h"
#include "records/AppSettings.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace twinfold {

// Receives each failure line; the default writes it to standard output.
using OriginalsLog = std::function<void(const std::string& line)>;
void writeLineToStandardOutput(const std::string& line);

// "Twinfold Backup " + the local date and time already formatted as
// "yyyy-MM-dd HH:mm".
std::string backupFolderName(const std::string& formattedDateTime);

// FAT and exFAT, the file systems of recorders' memory cards, refuse a colon
// in a name: the kernel's drivers with EINVAL, FUSE's fusefat with EPERM.
// After creating the folder `backupName` failed with `mkdirError`, the name
// to try instead ("… 14-05" for "… 14:05"), or nothing when another name
// would not help.
std::optional<std::string> backupNameAfterRefusal(const std::string& backupName, int mkdirError);

// One original and the outputs written from it.
struct OriginalWithOutputs {
    std::filesystem::path original;
    std::vector<std::filesystem::path> outputs;
};

// The originals of the plan's items, each with its item's outputs among `written`.
std::vector<OriginalWithOutputs> originalsWithOutputs(const ConversionPlan& plan,
                                                      const std::vector<std::filesystem::path>& written);

enum class OriginalFate {
    moved,  // into the backup folder, to `movedTo`
    deleted,
    kept,        // left in place as asked (or, without one folder, as nothing could be moved)
    notHandled,  // should have been moved or deleted but is still in place (logged)
};

struct HandledOriginal {
    std::filesystem::path original;
    OriginalFate fate = OriginalFate::kept;
    std::optional<std::filesystem::path> movedTo;

    bool operator==(const HandledOriginal&) const = default;
};

// Handles `originals` in order by `policy`:
// - moveToBackup: into folder / backupName (created when missing, reused
//   when it is a real folder, never a symbolic link or a file of that
//   name; see backupNameAfterRefusal for a file system that refuses the
//   name), each at its path relative to `folder` so that equal names from
//   different subfolders do not meet, never replacing a file. Before the
//   first move, a line for each original (its size and SHA-256 and those of
//   its outputs) is appended to the folder's manifest and synced; without
//   that record nothing is moved. Nothing is moved when `folder` is absent;
// - deleteOriginals: removed, except write-protected files, which stay;
// - leaveInPlace: nothing.
// Each failure is one line to `log` ("Failed to create backup folder: …",
// "Failed to move <path>: …", "Failed to delete <name>: …") and the rest
// are still handled (after a failed folder creation nothing is moved).
// Returns what became of each original, in order.
std::vector<HandledOriginal> handleOriginalFiles(const std::vector<OriginalWithOutputs>& originals,
                                                 OriginalFileHandling policy,
                                                 const std::optional<std::filesystem::path>& folder,
                                                 const std::string& backupName,
                                                 const OriginalsLog& log = writeLineToStandardOutput);

// Moves a file to `to`, never replacing anything there (an existing name is
// EEXIST). Within one file system this is an atomic rename; across file
// systems the file is copied to a new hidden file, flushed to disk, its size
// checked, renamed to `to` without replacing, and only then is the source
// removed; a failed (or killed) copy leaves the source as it was and no
// partial copy under `to`. Returns the error, empty on success.
std::error_code moveFileWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to);

// The copy route of the move on its own, so it can be tested on one file system.
std::error_code moveFileByCopying(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace twinfold
