#include "conversion/DurableSync.h"

#include "audio_io/PosixFile.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace twinfold {

namespace {

bool cannotSyncFolders(int error) {
    return error == EINVAL || error == EPERM || error == ENOSYS || error == EOPNOTSUPP;
}

int syncOpen(int fd, bool folder) {
    if (::fsync(fd) == 0) return 0;
    return folder && cannotSyncFolders(errno) ? 0 : errno;
}

}  // namespace

int syncPath(const std::filesystem::path& path, int openFlags) {
    const detail::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | openFlags));
    if (!fd) return errno;
    return syncOpen(fd.get(), (openFlags & O_DIRECTORY) != 0);
}

int syncOpenFolder(int folder) { return syncOpen(folder, true); }

int syncFolderOf(const std::filesystem::path& path) {
    return syncPath(path.has_parent_path() ? path.parent_path() : std::filesystem::path("."), O_DIRECTORY);
}

}  // namespace twinfold
