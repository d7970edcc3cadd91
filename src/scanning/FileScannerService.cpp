#include "scanning/FileScannerService.h"

#include "scanning/FileNameOrder.h"

#include <algorithm>
#include <iterator>
#include <system_error>

namespace twinfold {

namespace fs = std::filesystem;

namespace {

std::string_view fileNameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string_view(path) : std::string_view(path).substr(slash + 1);
}

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

const std::vector<std::string>& supportedExtensions() {
    static const std::vector<std::string> extensions{"wav", "aiff", "aif", "mp3", "m4a", "aac"};
    return extensions;
}

bool hasSupportedExtension(std::string_view fileName) {
    const auto dot = fileName.find_last_of('.');
    if (dot == std::string_view::npos) return false;
    const std::string_view extension = fileName.substr(dot + 1);
    // Every supported extension is ASCII, so no other letter can lower-case to one.
    return std::any_of(supportedExtensions().begin(), supportedExtensions().end(),
                       [extension](const std::string& candidate) {
                           return std::equal(extension.begin(), extension.end(), candidate.begin(),
                                             candidate.end(),
                                             [](char a, char b) { return asciiLower(a) == b; });
                       });
}

std::vector<fs::path> FileScannerService::scanDirectory(const fs::path& folder, const ScanProgress& progress) {
    cancelled_.store(false);
    std::error_code error;
    if (!fs::is_directory(folder, error)) throw ScanError(ScanError::Case::invalidDirectory);
    fs::directory_iterator top(folder, error);
    if (error) throw ScanError(ScanError::Case::accessDenied);

    std::vector<fs::path> found;
    std::vector<fs::path> pending;
    listFolder(std::move(top), progress, found, pending);
    walk(pending, progress, found);
    sortByFileName(found);
    return found;
}

// Depth first, one folder open at a time: a folder is read to the end and
// closed before its subfolders are entered, so deep trees cannot run out of
// file descriptors. Subfolders that cannot be opened are skipped.
void FileScannerService::walk(std::vector<fs::path>& pending, const ScanProgress& progress,
                              std::vector<fs::path>& found) const {
    std::reverse(pending.begin(), pending.end());
    std::vector<fs::path> subfolders;
    while (!pending.empty()) {
        const fs::path folder = std::move(pending.back());
        pending.pop_back();
        std::error_code error;
        fs::directory_iterator entries(folder, error);
        if (error) continue;
        subfolders.clear();
        listFolder(std::move(entries), progress, found, subfolders);
        pending.insert(pending.end(), std::make_move_iterator(subfolders.rbegin()),
                       std::make_move_iterator(subfolders.rend()));
    }
}

// Hidden entries are left out together with everything inside them, and
// symbolic links are neither listed nor followed, so a link loop cannot
// trap the walk. The types come from the directory listing itself, so
// most entries cost no extra file-system call.
void FileScannerService::listFolder(fs::directory_iterator entries, const ScanProgress& progress,
                                    std::vector<fs::path>& found, std::vector<fs::path>& subfolders) const {
    std::error_code error;
    for (; entries != fs::directory_iterator(); entries.increment(error)) {
        if (error) return;
        if (cancelled_.load()) throw ScanError(ScanError::Case::cancelled);
        const fs::directory_entry& entry = *entries;
        const std::string_view name = fileNameOf(entry.path().native());
        if (name.empty() || name.front() == '.') continue;
        std::error_code typeError;
        if (entry.is_symlink(typeError) || typeError) continue;
        if (entry.is_directory(typeError)) {
            subfolders.push_back(entry.path());
        } else if (!typeError && entry.is_regular_file(typeError) && hasSupportedExtension(name)) {
            found.push_back(entry.path());
            if (progress) progress(found.size(), std::string(name));
        }
    }
}

}  // namespace twinfold
