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
                           return std::equal(extension.begin(), extension.end(), candidate.begin(), candidate.end(),
                                             [](char a, char b) { return asciiLower(a) == b; });
                       });
}

namespace {

// One listing in progress: the audio files found so far, each with its
// collation key, built while its name is at hand.
struct Listing {
    const std::atomic<bool>& cancelled;
    const std::atomic<bool>* stop;  // the caller's token, if any
    const ScanProgress& progress;
    FileNameCollator collator;
    std::vector<fs::path> found;
    std::vector<std::string> keys;
    std::vector<fs::path> subfolders;

    bool isStopped() const {
        return cancelled.load(std::memory_order_relaxed) || (stop && stop->load(std::memory_order_relaxed));
    }
};

// Hidden entries are left out together with everything inside them, and
// symbolic links are neither listed nor followed, so a link loop cannot
// trap the walk. The types come from the directory listing itself, so
// most entries cost no extra file-system call.
void listFolder(fs::directory_iterator entries, Listing& listing) {
    std::error_code error;
    for (; entries != fs::directory_iterator(); entries.increment(error)) {
        if (error) return;
        if (listing.isStopped()) throw ScanError(ScanError::Case::cancelled);
        const fs::directory_entry& entry = *entries;
        const std::string_view name = fileNameOf(entry.path().native());
        if (name.empty() || name.front() == '.') continue;
        std::error_code typeError;
        if (entry.is_symlink(typeError) || typeError) continue;
        if (entry.is_directory(typeError)) {
            listing.subfolders.push_back(entry.path());
        } else if (!typeError && entry.is_regular_file(typeError) && hasSupportedExtension(name)) {
            listing.found.push_back(entry.path());
            listing.keys.push_back(listing.collator.key(name));
            if (listing.progress) listing.progress(listing.found.size(), std::string(name));
        }
    }
}

// Depth first, one folder open at a time: a folder is read to the end and
// closed before its subfolders are entered, so deep trees cannot run out of
// file descriptors. Subfolders that cannot be opened are skipped.
void walk(fs::directory_iterator top, Listing& listing) {
    std::vector<fs::path> pending;
    fs::directory_iterator entries = std::move(top);
    for (;;) {
        listing.subfolders.clear();
        listFolder(std::move(entries), listing);
        pending.insert(pending.end(), std::make_move_iterator(listing.subfolders.rbegin()),
                       std::make_move_iterator(listing.subfolders.rend()));
        std::error_code error;
        do {
            if (pending.empty()) return;
            entries = fs::directory_iterator(pending.back(), error);
            pending.pop_back();
        } while (error);
    }
}

}  // namespace

std::vector<fs::path> FileScannerService::scanDirectory(const fs::path& folder, const ScanProgress& progress,
                                                        const std::atomic<bool>* stop) {
    cancelled_.store(false);
    if (stop && stop->load()) throw ScanError(ScanError::Case::cancelled);
    std::error_code error;
    if (!fs::is_directory(folder, error)) throw ScanError(ScanError::Case::invalidDirectory);
    fs::directory_iterator top(folder, error);
    if (error) throw ScanError(ScanError::Case::accessDenied);

    Listing listing{cancelled_, stop, progress, {}, {}, {}, {}};
    walk(std::move(top), listing);
    std::vector<fs::path> sorted;
    sorted.reserve(listing.found.size());
    for (const std::size_t i : ascendingOrder(listing.keys)) sorted.push_back(std::move(listing.found[i]));
    return sorted;
}

}  // namespace twinfold
