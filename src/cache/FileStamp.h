#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace twinfold {

// What a cached analysis is keyed on besides the path: device, inode, size,
// and the modification and status-change times in nanoseconds. The
// status-change time cannot be set back by tools that restore modification
// times (cp -p, rsync -t), so a file rewritten that way still misses.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNanoseconds = 0;
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
};

}  // namespace twinfold
