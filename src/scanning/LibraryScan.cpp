#include "scanning/LibraryScan.h"

#include "scanning/FileScannerService.h"

#include <deque>
#include <thread>
#include <string_view>
#include <unordered_set>

namespace twinfold {

namespace fs = std::filesystem;

fs::path standardizedPath(const fs::path& path) {
    std::error_code ignored;
    fs::path normal = fs::absolute(path, ignored).lexically_normal();
    if (normal.has_relative_path() && normal.filename().empty()) normal = normal.parent_path();
    return normal;
}

// Paths are moved, never copied: a path holds its parsed components, and
// copying 100,000 of them costs more than checking them.
std::vector<fs::path> withoutDuplicatePaths(std::vector<fs::path> paths) {
    std::unordered_set<std::string_view> seen;
    seen.reserve(paths.size());
    std::deque<std::string> standardized;  // the forms of paths that are not plain, kept for `seen`
    std::vector<fs::path> unique;
    unique.reserve(paths.size());  // no reallocation: `seen` points into these paths
    for (fs::path& path : paths) {
        // Listed paths are already absolute and normal; only others need the work.
        const std::string& native = path.native();
        const bool plain = !native.empty() && native.front() == '/' && native.find("/.") == std::string::npos &&
                           native.find("//") == std::string::npos && native.back() != '/';
        if (plain) {
            unique.push_back(std::move(path));
            if (!seen.insert(unique.back().native()).second) unique.pop_back();
        } else if (seen.insert(standardized.emplace_back(standardizedPath(path).native())).second) {
            unique.push_back(std::move(path));
        }
    }
    return unique;
}

std::vector<CacheItem> analysisItems(std::vector<fs::path> paths) {
    SplitStereoPairResult split = findSplitStereoPairs(std::move(paths));
    std::vector<CacheItem> items;
    items.reserve(split.unpaired.size() + split.pairs.size());
    for (fs::path& path : split.unpaired) items.push_back({std::move(path), std::nullopt});
    for (SplitStereoPair& pair : split.pairs) items.push_back({std::move(pair.left), std::move(pair.right)});
    return items;
}

std::unique_ptr<AnalysisCache> openAnalysisCache(const LibraryScanOptions& options) {
    if (!options.useCache) return nullptr;
    AnalysisCache::Options cache;
    cache.file = options.cacheFile;
    cache.analyserVersion = AudioAnalyzerService::analyserVersion;
    cache.silenceThresholdLinear = options.silenceThresholdLinear;
    cache.settleTime = options.cacheSettleTime;
    return std::make_unique<AnalysisCache>(std::move(cache));
}

std::vector<fs::path> listSources(FileScannerService& scanner, std::vector<fs::path> files,
                                  const std::vector<fs::path>& folders, AnalysisCache* cache,
                                  const ScanProgress& progress, const std::atomic<bool>* stop,
                                  const std::function<void(const fs::path&)>& beforeEach) {
    // Joined however the listing ends, a cancel or failure included.
    std::jthread prefetch;
    if (cache && !folders.empty()) prefetch = std::jthread([cache, &folders] { cache->prefetchFolders(folders); });
    for (const fs::path& folder : folders) {
        if (beforeEach) beforeEach(folder);
        std::vector<fs::path> listed = scanner.scanDirectory(folder, progress, stop);
        files.insert(files.end(), std::make_move_iterator(listed.begin()), std::make_move_iterator(listed.end()));
    }
    return files;
}

void scanLibrary(const std::vector<fs::path>& files, const std::vector<fs::path>& folders,
                 const LibraryScanOptions& options, const ResultSink& sink, const std::atomic<bool>* stop) {
    FileScannerService scanner;
    const std::unique_ptr<AnalysisCache> cache = openAnalysisCache(options);
    std::vector<CacheItem> items =
        analysisItems(withoutDuplicatePaths(listSources(scanner, files, folders, cache.get(), {}, stop)));
    AudioAnalyzerService analyzer(options.silenceThresholdLinear);
    analyzer.analyzeQueue(std::move(items), {options.jobs, cache.get()}, sink, stop);
}

}  // namespace twinfold
