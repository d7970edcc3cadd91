#include "support/SyncFaults.h"

#include <atomic>
#include <cerrno>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

std::atomic<int> failingFolders{0};

}  // namespace

namespace twinfold::test {

FolderSyncFailure::FolderSyncFailure() { ++failingFolders; }
FolderSyncFailure::~FolderSyncFailure() { --failingFolders; }

}  // namespace twinfold::test

// Takes the place of the C library's fsync in the test binary; the code
// under test calls it as it would the real one.
extern "C" int fsync(int fd) {
    struct stat info {};
    if (failingFolders.load() > 0 && ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        errno = EIO;
        return -1;
    }
    return int(::syscall(SYS_fsync, fd));
}
