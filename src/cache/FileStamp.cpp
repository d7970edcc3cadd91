#include "cache/FileStamp.h"

#include <sys/stat.h>

#include <algorithm>
#include <ctime>

namespace twinfold {

namespace {

std::int64_t nanoseconds(const timespec& t) { return std::int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec; }

}  // namespace

std::optional<FileStamp> FileStamp::of(const std::filesystem::path& path) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    FileStamp stamp;
    stamp.device = std::uint64_t(st.st_dev);
    stamp.inode = std::uint64_t(st.st_ino);
    stamp.size = std::int64_t(st.st_size);
    stamp.modifiedNanoseconds = nanoseconds(st.st_mtim);
    stamp.changedNanoseconds = nanoseconds(st.st_ctim);
    stamp.takenNanoseconds = nanoseconds(now);
    return stamp;
}

bool FileStamp::isSettled(std::int64_t marginNanoseconds) const {
    return std::max(modifiedNanoseconds, changedNanoseconds) < takenNanoseconds - marginNanoseconds;
}

bool FileStamp::sameFileVersion(const FileStamp& o) const {
    return describes(o) && changedNanoseconds == o.changedNanoseconds;
}

}  // namespace twinfold
