#include "workflow/OriginalFiles.h"

#include "conversion/OutputCommit.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace twinfold {

namespace fs = std::filesystem;

namespace {

std::error_code errnoCode(int error) { return {error, std::generic_category()}; }

// A descriptor closed on every path out.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { if (fd_ >= 0) ::close(fd_); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int close() { const int result = ::close(fd_); fd_ = -1; return result; }
    int release() { const int fd = fd_; fd_ = -1; return fd; }

private:
    int fd_;
};

// Copies every byte of `in` to `out`; 0 or an errno value.
int copyContents(int in, int out) {
    for (bool inKernel = true;;) {
        ssize_t n = -1;
        if (inKernel) {
            n = ::copy_file_range(in, nullptr, out, nullptr, std::size_t(64) << 20, 0);
            if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL)) {
                inKernel = false;
                continue;
            }
        } else {
            static thread_local std::vector<char> buffer(std::size_t(4) << 20);
            n = ::read(in, buffer.data(), buffer.size());
            for (ssize_t written = 0; n > 0 && written < n;) {
                const ssize_t w = ::write(out, buffer.data() + written, std::size_t(n - written));
                if (w < 0) return errno;
                written += w;
            }
        }
        if (n < 0) return errno;
        if (n == 0) return 0;
    }
}

// Writes the copy and makes sure it is complete and on disk; 0 or an errno value.
int writeDurableCopy(int in, const struct stat& source, int out) {
    if (int error = copyContents(in, out)) return error;
    if (::fsync(out) != 0) return errno;
    struct stat copy {};
    if (::fstat(out, &copy) != 0) return errno;
    if (copy.st_size != source.st_size) return EIO;
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    ::futimens(out, times);  // the original's dates are kept where possible
    return 0;
}

// Forces the entries of the folder `to` is in to the device; 0 or an errno
// value. `folder` is that folder's descriptor, or AT_FDCWD when `to` is a path.
int syncFolderOf(int folder, const fs::path& to) {
    if (folder != AT_FDCWD) return ::fsync(folder) == 0 || errno == EINVAL ? 0 : errno;
    const fs::path parent = to.has_parent_path() ? to.parent_path() : fs::path(".");
    Fd opened(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (opened.get() < 0) return errno;
    if (::fsync(opened.get()) == 0) return 0;
    return errno == EINVAL ? 0 : errno;  // a file system that cannot sync folders has nothing more to do
}

// Why the backup folder's name cannot be used as the folder.
std::string notAFolder(const fs::path& backup) {
    struct stat info {};
    if (::lstat(backup.c_str(), &info) == 0 && S_ISLNK(info.st_mode))
        return backup.filename().string() + " is a symbolic link";
    return errnoCode(ENOTDIR).message();
}

// Opens the backup folder, creating it when missing. A symbolic link (or
// anything else but a real folder) of that name is never used: originals
// moved through it would leave the scanned tree. Returns the descriptor, or
// −1 with `reason` set (and `mkdirError` when the folder could not be made).
int openBackupFolder(const fs::path& backup, std::string& reason, int& mkdirError) {
    if (::mkdir(backup.c_str(), 0777) != 0 && errno != EEXIST) {
        mkdirError = errno;
        reason = errnoCode(errno).message();
        return -1;
    }
    Fd folder(::open(backup.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (folder.get() < 0 && errno != ELOOP && errno != ENOTDIR) {
        reason = errnoCode(errno).message();
        return -1;
    }
    if (folder.get() < 0 || ::fstat(folder.get(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        reason = notAFolder(backup);
        return -1;
    }
    return folder.release();
}

// A file system with neither a no-replace rename nor hard links (FAT or
// exFAT through FUSE): the name is claimed by creating an empty file under
// it exclusively, which fails when the name is taken, and only that
// placeholder of ours is then replaced. 0 or an errno value.
int renameOverPlaceholder(int folder, const fs::path& from, const fs::path& to) {
    Fd placeholder(::openat(folder, to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (placeholder.get() < 0) return errno;
    placeholder.close();
    if (::renameat(folder, from.c_str(), folder, to.c_str()) == 0) return 0;
    const int error = errno;
    ::unlinkat(folder, to.c_str(), 0);
    return error;
}

// Renames within `folder` without replacing; 0 or an errno value.
int renameInFolder(int folder, const fs::path& from, const fs::path& to) {
    if (::renameat2(folder, from.c_str(), folder, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
    if (::linkat(folder, from.c_str(), folder, to.c_str(), 0) == 0) {
        ::unlinkat(folder, from.c_str(), 0);
        return 0;
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) return errno;
    return renameOverPlaceholder(folder, from, to);
}

std::error_code moveByCopying(const fs::path& from, int folder, const fs::path& to) {
    Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat source {}, taken {};
    if (in.get() < 0 || ::fstat(in.get(), &source) != 0) return errnoCode(errno);
    if (!S_ISREG(source.st_mode)) return errnoCode(EISDIR);
    if (::fstatat(folder, to.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0) return errnoCode(EEXIST);
    // The copy is named only once complete: a crash midway leaves at most a
    // hidden temporary, never a partial original under the original's name.
    const fs::path temporary = temporaryPathFor(to);
    Fd out(::openat(folder, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, source.st_mode & 07777));
    if (out.get() < 0) return errnoCode(errno);  // nothing of ours to clean up
    int error = writeDurableCopy(in.get(), source, out.get());
    if (out.close() != 0 && error == 0) error = errno;
    if (error == 0) error = renameInFolder(folder, temporary, to);
    if (error != 0) {
        ::unlinkat(folder, temporary.c_str(), 0);
        return errnoCode(error);
    }
    // The copy's name must be on disk too before the original's goes: the
    // two folders are on different file systems, which commit independently.
    error = syncFolderOf(folder, to);
    if (error == 0 && ::unlink(from.c_str()) != 0) error = errno;
    if (error != 0) {
        // The original stays where it was; the copy we made goes.
        ::unlinkat(folder, to.c_str(), 0);
        return errnoCode(error);
    }
    return {};
}

// The move, with `to` relative to the folder descriptor `folder` (or AT_FDCWD).
std::error_code moveWithoutReplacing(const fs::path& from, int folder, const fs::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), folder, to.c_str(), RENAME_NOREPLACE) == 0) return {};
    int error = errno;
    if (error == EINVAL || error == ENOSYS || error == EOPNOTSUPP) {
        // A file system without a no-replace rename: a hard link never
        // replaces either, and the source name goes once the link exists.
        if (::linkat(AT_FDCWD, from.c_str(), folder, to.c_str(), 0) == 0) {
            if (::unlink(from.c_str()) == 0) return {};
            error = errno;
            ::unlinkat(folder, to.c_str(), 0);
            return errnoCode(error);
        }
        error = errno;
        if (error == EPERM || error == EOPNOTSUPP) error = EXDEV;  // no hard links here: copy instead
    }
    if (error == EXDEV) return moveByCopying(from, folder, to);
    return errnoCode(error);
}

void log(const OriginalsLog& sink, const std::string& line) {
    if (sink) sink(line);
}

// The backup folder under its own name or, where the file system refuses
// that name, under the name it accepts.
int openBackupFolderIn(const fs::path& folder, const std::string& backupName, std::string& reason) {
    int mkdirError = 0;
    const int backup = openBackupFolder(folder / backupName, reason, mkdirError);
    if (backup >= 0) return backup;
    const auto accepted = backupNameAfterRefusal(backupName, mkdirError);
    return accepted ? openBackupFolder(folder / *accepted, reason, mkdirError) : -1;
}

void moveAll(const std::vector<fs::path>& originals, const std::optional<fs::path>& folder,
             const std::string& backupName, const OriginalsLog& sink) {
    if (!folder) return;  // several dropped items: there is no one folder to back up into
    std::string reason;
    const Fd backup(openBackupFolderIn(*folder, backupName, reason));
    if (backup.get() < 0) return log(sink, "Failed to create backup folder: " + reason);
    for (const fs::path& original : originals) {
        const fs::path name = original.filename();
        // Relative to the folder opened above, so a link swapped in under its
        // name meanwhile cannot redirect the move.
        if (auto failure = moveWithoutReplacing(original, backup.get(), name)) {
            log(sink, "Failed to move " + name.string() + ": " + failure.message());
        }
    }
}

// A file nobody may write to was protected on purpose; deleting it anyway
// (which the directory's permissions would allow) could destroy a master.
std::error_code deleteOriginal(const fs::path& original) {
    struct stat info {};
    if (::lstat(original.c_str(), &info) != 0) return errnoCode(errno);
    if (S_ISREG(info.st_mode) && (info.st_mode & 0222) == 0) return errnoCode(EACCES);
    if (::unlink(original.c_str()) != 0) return errnoCode(errno);
    return {};
}

void deleteAll(const std::vector<fs::path>& originals, const OriginalsLog& sink) {
    for (const fs::path& original : originals) {
        if (auto failure = deleteOriginal(original)) {
            log(sink, "Failed to delete " + original.filename().string() + ": " + failure.message());
        }
    }
}

}  // namespace

void writeLineToStandardOutput(const std::string& line) { std::cout << line << std::endl; }

std::string backupFolderName(const std::string& formattedDateTime) { return "Twinfold Backup " + formattedDateTime; }

std::optional<std::string> backupNameAfterRefusal(const std::string& backupName, int mkdirError) {
    if ((mkdirError != EINVAL && mkdirError != EPERM) || backupName.find(':') == std::string::npos) return std::nullopt;
    std::string accepted = backupName;
    std::replace(accepted.begin(), accepted.end(), ':', '-');
    return accepted;
}

void handleOriginalFiles(const std::vector<fs::path>& originals, OriginalFileHandling policy,
                         const std::optional<fs::path>& folder, const std::string& backupName,
                         const OriginalsLog& sink) {
    if (originals.empty()) return;
    switch (policy) {
    case OriginalFileHandling::moveToBackup: moveAll(originals, folder, backupName, sink); break;
    case OriginalFileHandling::deleteOriginals: deleteAll(originals, sink); break;
    case OriginalFileHandling::leaveInPlace: break;
    }
}

std::error_code moveFileWithoutReplacing(const fs::path& from, const fs::path& to) {
    return moveWithoutReplacing(from, AT_FDCWD, to);
}

std::error_code moveFileByCopying(const fs::path& from, const fs::path& to) {
    return moveByCopying(from, AT_FDCWD, to);
}

}  // namespace twinfold
