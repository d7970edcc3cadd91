#pragma once

// The record a backup folder keeps of the originals moved into it, so that
// they can be put back: "twinfold-manifest.jsonl" inside the folder, one JSON
// object a line per original, with its path relative to the scanned folder
// (the backup folder's parent), its size and SHA-256, and the same for each
// output written from it:
//   {"path":"Drums/Kick In.wav","size":123,"sha256":"…","outputs":[{"path":…,"size":…,"sha256":…}]}
// A path that is not valid UTF-8 has a "pathBytes" twin with its exact bytes.
// Lines are only ever appended: a second conversion in the same minute
// shares the folder and adds its own.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace twinfold {

inline constexpr char kBackupManifestName[] = "twinfold-manifest.jsonl";

struct RecordedFile {
    std::filesystem::path path;  // relative to the scanned folder
    std::int64_t size = 0;
    std::string sha256;  // lower-case hex

    bool operator==(const RecordedFile&) const = default;
};

struct ManifestEntry {
    RecordedFile original;
    std::vector<RecordedFile> outputs;

    bool operator==(const ManifestEntry&) const = default;
};

// The size and SHA-256 of the file's bytes; an error when it cannot be read.
struct FileDigest {
    std::int64_t size = 0;
    std::string sha256;
};
std::optional<FileDigest> digestOfFile(const std::filesystem::path& file, std::error_code& error);

// `file` as recorded: its path relative to `scannedFolder` (just its name
// when it lies outside), its size and digest.
std::optional<RecordedFile> recordFile(const std::filesystem::path& file, const std::filesystem::path& scannedFolder,
                                       std::error_code& error);

std::string manifestLine(const ManifestEntry& entry);  // without the newline
std::optional<ManifestEntry> parseManifestLine(const std::string& line);

// Appends one line per entry to the manifest in the folder open as
// `backupFolder` and forces the file and its name to the device before
// returning; 0 or an errno value. Nothing is written when `entries` is empty.
int appendToManifest(int backupFolder, const std::vector<ManifestEntry>& entries);

// The entries of the manifest in `backupFolder`, in order; throws
// std::system_error when it cannot be read. A line that cannot be parsed is
// left out and described in `problems`.
std::vector<ManifestEntry> readManifest(const std::filesystem::path& backupFolder, std::vector<std::string>& problems);

}  // namespace twinfold
