#include "scanning/LibraryScan.h"

#include "scanning/FileScannerService.h"

#include <unordered_set>

namespace twinfold {

namespace fs = std::filesystem;

fs::path standardizedPath(const fs::path& path) {
    std::error_code ignored;
    fs::path normal = fs::absolute(path, ignored).lexically_normal();
    if (normal.has_relative_path() && normal.filename().empty()) normal = normal.parent_path();
    return normal;
}

std::vector<fs::path> withoutDuplicatePaths(const std::vector<fs::path>& urls) {
    std::unordered_set<std::string> seen;
    seen.reserve(urls.size());
    std::vector<fs::path> unique;
    unique.reserve(urls.size());
    for (const fs::path& url : urls) {
        // Listed paths are already absolute and normal; only others need the work.
        const bool plain = url.is_absolute() && url.native().find("/.") == std::string::npos &&
                           url.native().find("//") == std::string::npos && !url.native().ends_with('/');
        if (seen.insert(plain ? url.native() : standardizedPath(url).native()).second) unique.push_back(url);
    }
    return unique;
}

std::vector<CacheItem> analysisItems(const std::vector<fs::path>& urls) {
    SplitStereoPairResult split = findSplitStereoPairs(urls);
    std::vector<CacheItem> items;
    items.reserve(split.unpaired.size() + split.pairs.size());
    for (fs::path& url : split.unpaired) items.push_back({std::move(url), std::nullopt});
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

void scanLibrary(const std::vector<fs::path>& files, const std::vector<fs::path>& folders,
                 const LibraryScanOptions& options, const ResultSink& sink, const std::atomic<bool>* stop) {
    FileScannerService scanner;
    std::vector<fs::path> urls = files;
    for (const fs::path& folder : folders) {
        std::vector<fs::path> listed = scanner.scanDirectory(folder, {}, stop);
        urls.insert(urls.end(), std::make_move_iterator(listed.begin()), std::make_move_iterator(listed.end()));
    }
    const std::vector<CacheItem> items = analysisItems(withoutDuplicatePaths(urls));
    const std::unique_ptr<AnalysisCache> cache = openAnalysisCache(options);
    AudioAnalyzerService analyzer(options.silenceThresholdLinear);
    analyzer.analyzeQueue(items, {options.jobs, cache.get()}, sink, stop);
}

}  // namespace twinfold
