#pragma once

#include "records/FileIdentity.h"

#include <cstdint>
#include <filesystem>
#include <optional>

namespace twinfold {

// What a cached analysis is keyed on besides the path: the file's identity
// and its status-change time in nanoseconds. The status-change time cannot
// be set back by tools that restore modification times (cp -p, rsync -t), so
// a file rewritten that way still misses.
struct FileStamp : FileIdentity {
    std::int64_t changedNanoseconds = 0;
    // The wall-clock time the stamp was taken, not part of the key: a file
    // changed within a clock tick of it could change again without its times
    // moving, so such a stamp is not trusted for caching.
    std::int64_t takenNanoseconds = 0;

    // The stamp of the file at `path` now (following symbolic links), or
    // nothing when it cannot be read.
    static std::optional<FileStamp> of(const std::filesystem::path& path);

    // Whether both times are older than `margin` before the stamp was taken.
    bool isSettled(std::int64_t marginNanoseconds) const;
    bool sameFileVersion(const FileStamp& other) const;
    // Whether `identity` (taken when a file was described) names this version.
    bool describes(const FileIdentity& identity) const { return identity == FileIdentity(*this); }
};

}  // namespace twinfold
