#include "Exclusion.h"

#include <fnmatch.h>

#include <algorithm>

namespace twinfold::cli {

namespace fs = std::filesystem;

namespace {

bool matchesAny(const Exclusions& exclusions, const std::string& text) {
    return std::any_of(exclusions.globs.begin(), exclusions.globs.end(),
                       [&](const std::string& glob) { return ::fnmatch(glob.c_str(), text.c_str(), 0) == 0; });
}

bool fileIsExcluded(const fs::path& file, const Exclusions& exclusions, const std::vector<fs::path>& namedPaths) {
    if (matchesAny(exclusions, file.filename().string())) return true;
    for (const fs::path& named : namedPaths) {
        const fs::path relative = file.lexically_relative(named);
        if (relative.empty() || *relative.begin() == ".." || relative == ".") continue;
        // "Stems", "Stems/Day 2", "Stems/Day 2/Kick.wav"
        fs::path step;
        for (const fs::path& part : relative) {
            step /= part;
            if (matchesAny(exclusions, step.string())) return true;
        }
    }
    return false;
}

}  // namespace

bool isExcluded(const ScanResult& result, const Exclusions& exclusions, const std::vector<fs::path>& namedPaths) {
    if (exclusions.globs.empty()) return false;
    if (fileIsExcluded(result.fileInfo.path, exclusions, namedPaths)) return true;
    return result.pairedFilePath && fileIsExcluded(*result.pairedFilePath, exclusions, namedPaths);
}

}  // namespace twinfold::cli
