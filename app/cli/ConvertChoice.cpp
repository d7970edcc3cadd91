#include "ConvertChoice.h"

#include <algorithm>

namespace twinfold::cli {

namespace fs = std::filesystem;

namespace {

bool isBackupFolderName(const fs::path& part) { return part.string().starts_with("Twinfold Backup "); }

bool isWithin(const fs::path& file, const fs::path& folderOrFile) {
    const auto [stop, rest] = std::mismatch(folderOrFile.begin(), folderOrFile.end(), file.begin(), file.end());
    return stop == folderOrFile.end();
}

// A backup is taken only when the user pointed into a backup folder: naming
// the folder that holds one is not asking for the originals inside it.
bool backupWasNamed(const ScanResult& r, const std::vector<fs::path>& namedPaths) {
    return std::any_of(namedPaths.begin(), namedPaths.end(), [&](const fs::path& named) {
        if (!std::any_of(named.begin(), named.end(), isBackupFolderName)) return false;
        return isWithin(r.fileInfo.path, named) || (r.pairedFilePath && isWithin(*r.pairedFilePath, named));
    });
}

}  // namespace

ConvertChoice chooseForConversion(const std::vector<std::reference_wrapper<const ScanResult>>& results,
                                  const std::vector<fs::path>& namedPaths, bool includeDiffering) {
    ConvertChoice choice;
    int backups = 0;
    for (const ScanResult& r : results) {
        if (!r.isConvertible()) continue;
        if (r.isInBackupFolder() && !backupWasNamed(r, namedPaths)) {
            ++backups;
        } else if (r.differsFromAPan() && !includeDiffering) {
            choice.notices.push_back("not converting " + r.fileInfo.path.string() + ": " + r.statusText() + ", " +
                                     r.differenceText() + "; --include-differing converts it anyway");
        } else {
            choice.ids.insert(r.id);
        }
    }
    if (backups > 0) {
        choice.notices.push_back(
            "not converting " + std::to_string(backups) +
            " file(s) inside \"Twinfold Backup\" folders; name a backup folder to convert from it");
    }
    return choice;
}

}  // namespace twinfold::cli
