#include "jobs/RestoreOriginals.h"

#include "jobs/BackupManifest.h"
#include "jobs/OriginalFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <system_error>

namespace twinfold {

namespace fs = std::filesystem;

namespace {

// A recorded path must stay inside the folder it is relative to: a
// manifest is a file anyone could have edited.
bool isSafeRelative(const fs::path& path) {
    if (path.empty() || path.is_absolute()) return false;
    return std::none_of(path.begin(), path.end(), [](const fs::path& part) { return part == ".." || part == "."; });
}

bool isThere(const fs::path& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

bool matches(const fs::path& file, const RecordedFile& record) {
    std::error_code error;
    const auto digest = digestOfFile(file, error);
    return digest && digest->size == record.size && digest->sha256 == record.sha256;
}

// Puts one original back; true when it is in its place afterwards (also
// when an earlier restore put it there).
bool restoreOne(const fs::path& backup, const fs::path& scanned, const ManifestEntry& entry, RestoreReport& report) {
    const fs::path& relative = entry.original.path;
    const fs::path from = backup / relative, to = scanned / relative;
    if (!isThere(from)) {
        if (matches(to, entry.original)) return true;
        report.problems.push_back("Not restored " + relative.string() + ": it is not in the backup folder");
        return false;
    }
    if (!matches(from, entry.original)) {
        report.problems.push_back("Not restored " + relative.string() +
                                  ": it differs from the file that was backed up; left in the backup folder");
        return false;
    }
    std::error_code error;
    fs::create_directories(to.parent_path(), error);
    if (!error) error = moveFileWithoutReplacing(from, to);
    if (error == std::errc::file_exists) {
        report.problems.push_back("Not restored " + relative.string() + ": a file of that name is in its place");
        return false;
    }
    if (error) {
        report.problems.push_back("Not restored " + relative.string() + ": " + error.message());
        return false;
    }
    report.restored.push_back(to);
    return true;
}

void removeOutput(const fs::path& scanned, const RecordedFile& output, RestoreReport& report) {
    const fs::path file = scanned / output.path;
    struct stat info {};
    if (::lstat(file.c_str(), &info) != 0) return;  // already gone
    if (!S_ISREG(info.st_mode) || !matches(file, output)) {
        report.problems.push_back("Kept " + output.path.string() + ": it has changed since the conversion");
        return;
    }
    if (::unlink(file.c_str()) != 0) {
        report.problems.push_back("Kept " + output.path.string() + ": " + std::generic_category().message(errno));
        return;
    }
    report.outputsRemoved.push_back(file);
}

// Removes the manifest, then every folder left empty below the backup
// folder and the backup folder itself; a folder that is not empty stays.
bool removeEmptiedBackup(const fs::path& backup) {
    if (::unlink((backup / kBackupManifestName).c_str()) != 0) return false;
    std::vector<fs::path> folders;
    std::error_code error;
    for (fs::recursive_directory_iterator it(backup, error), end; !error && it != end; it.increment(error)) {
        if (it->is_directory(error) && !it->is_symlink(error)) folders.push_back(it->path());
    }
    std::sort(folders.begin(), folders.end(), std::greater<>());  // the deepest first
    for (const fs::path& folder : folders) ::rmdir(folder.c_str());
    return ::rmdir(backup.c_str()) == 0;
}

}  // namespace

RestoreReport restoreOriginals(const fs::path& backupFolder, bool removeOutputs) {
    fs::path backup = fs::absolute(backupFolder).lexically_normal();
    if (!backup.has_filename()) backup = backup.parent_path();
    const fs::path scanned = backup.parent_path();
    RestoreReport report;
    const std::vector<ManifestEntry> entries = readManifest(backup, report.problems);
    // An output may go only when every original it was written from is back.
    std::map<fs::path, std::pair<RecordedFile, bool>> outputs;
    bool allBack = report.problems.empty();
    for (const ManifestEntry& entry : entries) {
        bool back = false;
        if (!isSafeRelative(entry.original.path)) {
            report.problems.push_back("Not restored " + entry.original.path.string() +
                                      ": the record points outside the folder");
        } else {
            back = restoreOne(backup, scanned, entry, report);
        }
        allBack = allBack && back;
        for (const RecordedFile& output : entry.outputs) {
            auto [it, added] = outputs.try_emplace(output.path, output, back);
            it->second.second = it->second.second && back && isSafeRelative(output.path);
        }
    }
    if (removeOutputs) {
        for (const auto& [path, output] : outputs) {
            if (output.second) removeOutput(scanned, output.first, report);
        }
    }
    if (allBack) report.backupFolderRemoved = removeEmptiedBackup(backup);
    return report;
}

}  // namespace twinfold
