#include "jobs/OriginalFiles.h"

#include "audio_io/PosixFile.h"
#include "conversion/DurableSync.h"
#include "conversion/FileCopy.h"
#include "conversion/OutputCommit.h"
#include "jobs/BackupManifest.h"

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

using detail::UniqueFd;

// Writes the copy and makes sure it is complete and on disk; 0 or an errno value.
int writeDurableCopy(int in, const struct stat& source, int out) {
    if (int error = copyBytes(in, out)) return error;
    if (::fsync(out) != 0) return errno;
    struct stat copy {};
    if (::fstat(out, &copy) != 0) return errno;
    if (copy.st_size != source.st_size) return EIO;
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    ::futimens(out, times);  // the original's dates are kept where possible
    return 0;
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
    UniqueFd folder(::open(backup.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
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
    UniqueFd placeholder(::openat(folder, to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
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
    UniqueFd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat source {
    }, taken{};
    if (in.get() < 0 || ::fstat(in.get(), &source) != 0) return errnoCode(errno);
    if (!S_ISREG(source.st_mode)) return errnoCode(EISDIR);
    if (::fstatat(folder, to.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0) return errnoCode(EEXIST);
    // The copy is named only once complete: a crash midway leaves at most a
    // hidden temporary, never a partial original under the original's name.
    const fs::path temporary = temporaryPathFor(to);
    UniqueFd out(::openat(folder, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, source.st_mode & 07777));
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
    error = folder != AT_FDCWD ? syncOpenFolder(folder) : syncFolderOf(to);
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
// `name` becomes the name the folder has.
int openBackupFolderIn(const fs::path& folder, std::string& name, std::string& reason) {
    int mkdirError = 0;
    const int backup = openBackupFolder(folder / name, reason, mkdirError);
    if (backup >= 0) return backup;
    const auto accepted = backupNameAfterRefusal(name, mkdirError);
    if (!accepted) return -1;
    name = *accepted;
    return openBackupFolder(folder / name, reason, mkdirError);
}

// Where `original` goes inside the backup folder: its path relative to the
// scanned folder, or just its name when it does not lie below it.
fs::path placeInBackup(const fs::path& original, const fs::path& folder) {
    const fs::path relative = original.lexically_relative(folder);
    for (const fs::path& part : relative) {
        if (part == ".." || part == ".") return original.filename();
    }
    return relative.empty() ? original.filename() : relative;
}

// Opens the subfolder `relative` of the folder open as `base`, creating the
// missing steps and never following a symbolic link; −1 with errno set.
int openSubfolder(int base, const fs::path& relative) {
    int current = ::fcntl(base, F_DUPFD_CLOEXEC, 0);
    for (const fs::path& part : relative) {
        if (current < 0) return -1;
        const UniqueFd parent(current);
        if (::mkdirat(parent.get(), part.c_str(), 0777) != 0 && errno != EEXIST) return -1;
        current = ::openat(parent.get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    return current;
}

// The manifest lines of the originals that can be described; the others
// are logged and stay where they are.
std::vector<ManifestEntry> recordAll(const std::vector<OriginalWithOutputs>& originals, const fs::path& folder,
                                     std::vector<std::size_t>& recorded, const OriginalsLog& sink) {
    std::vector<ManifestEntry> entries;
    for (std::size_t k = 0; k < originals.size(); ++k) {
        std::error_code error;
        ManifestEntry entry;
        auto original = recordFile(originals[k].original, folder, error);
        for (const fs::path& output : originals[k].outputs) {
            if (error) break;
            if (auto file = recordFile(output, folder, error)) entry.outputs.push_back(std::move(*file));
        }
        if (!original || error) {
            log(sink, "Failed to move " + placeInBackup(originals[k].original, folder).string() +
                          ": it cannot be recorded for restoring: " + error.message());
            continue;
        }
        entry.original = std::move(*original);
        entries.push_back(std::move(entry));
        recorded.push_back(k);
    }
    return entries;
}

void moveAll(const std::vector<OriginalWithOutputs>& originals, const std::optional<fs::path>& folder,
             const std::string& backupName, const OriginalsLog& sink, std::vector<HandledOriginal>& handled) {
    if (!folder) return;  // several dropped items: there is no one folder to back up into
    for (HandledOriginal& h : handled) h.fate = OriginalFate::notHandled;
    std::string reason, name = backupName;
    const UniqueFd backup(openBackupFolderIn(*folder, name, reason));
    if (backup.get() < 0) return log(sink, "Failed to create backup folder: " + reason);
    std::vector<std::size_t> recorded;
    const std::vector<ManifestEntry> entries = recordAll(originals, *folder, recorded, sink);
    // Without the record no original may go: it is what puts them back.
    if (const int error = appendToManifest(backup.get(), entries))
        return log(sink, std::string("Failed to write the backup record ") + kBackupManifestName + ": " +
                             errnoCode(error).message());
    for (std::size_t k = 0; k < entries.size(); ++k) {
        const fs::path& place = entries[k].original.path;
        HandledOriginal& h = handled[recorded[k]];
        // Relative to the folders opened here, so a link swapped in under
        // their names meanwhile cannot redirect the move.
        const UniqueFd subfolder(openSubfolder(backup.get(), place.parent_path()));
        std::error_code failure = subfolder.get() < 0 ? errnoCode(errno) : std::error_code();
        if (!failure) failure = moveWithoutReplacing(h.original, subfolder.get(), place.filename());
        if (failure) {
            log(sink, "Failed to move " + place.string() + ": " + failure.message());
        } else {
            h.fate = OriginalFate::moved;
            h.movedTo = *folder / name / place;
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

void deleteAll(std::vector<HandledOriginal>& handled, const OriginalsLog& sink) {
    for (HandledOriginal& h : handled) {
        if (auto failure = deleteOriginal(h.original)) {
            h.fate = OriginalFate::notHandled;
            log(sink, "Failed to delete " + h.original.filename().string() + ": " + failure.message());
        } else {
            h.fate = OriginalFate::deleted;
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

std::vector<OriginalWithOutputs> originalsWithOutputs(const ConversionPlan& plan,
                                                      const std::vector<fs::path>& written) {
    std::vector<OriginalWithOutputs> originals;
    for (const PlannedConversion& item : plan.items) {
        std::vector<fs::path> outputs;
        for (const PlannedOutput& output : item.outputs) {
            if (std::find(written.begin(), written.end(), output.path) != written.end()) outputs.push_back(output.path);
        }
        for (const fs::path& file : item.files) originals.push_back({file, outputs});
    }
    return originals;
}

std::vector<HandledOriginal> handleOriginalFiles(const std::vector<OriginalWithOutputs>& originals,
                                                 OriginalFileHandling policy, const std::optional<fs::path>& folder,
                                                 const std::string& backupName, const OriginalsLog& sink) {
    std::vector<HandledOriginal> handled;
    for (const OriginalWithOutputs& o : originals) handled.push_back({o.original, OriginalFate::kept, std::nullopt});
    if (originals.empty()) return handled;
    switch (policy) {
    case OriginalFileHandling::moveToBackup: moveAll(originals, folder, backupName, sink, handled); break;
    case OriginalFileHandling::deleteOriginals: deleteAll(handled, sink); break;
    case OriginalFileHandling::leaveInPlace: break;
    }
    return handled;
}

std::error_code moveFileWithoutReplacing(const fs::path& from, const fs::path& to) {
    return moveWithoutReplacing(from, AT_FDCWD, to);
}

std::error_code moveFileByCopying(const fs::path& from, const fs::path& to) {
    return moveByCopying(from, AT_FDCWD, to);
}

}  // namespace twinfold
