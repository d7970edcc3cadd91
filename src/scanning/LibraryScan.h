#pragma once

// A whole scan without any user interface: list folders, drop duplicates,
// pair split files, analyse on a pool of workers with the analysis cache,
// and hand on each result as it is ready. The window's view model and the
// command line both scan this way.

#include "analysis/AudioAnalyzerService.h"
#include "cache/AnalysisCache.h"
#include "scanning/FileScannerService.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

namespace twinfold {

struct LibraryScanOptions {
    float silenceThresholdLinear = 1.5848932e-5f;  // −96 dBFS
    int jobs = 0;                                  // 0: one worker per core
    bool useCache = true;
    std::filesystem::path cacheFile = defaultAnalysisCacheFile();
    std::chrono::nanoseconds cacheSettleTime = std::chrono::seconds(3);
};

// The absolute, normalised form of a path, without a trailing separator (no
// symbolic links are resolved). Two paths name the same file when these are equal.
std::filesystem::path standardizedPath(const std::filesystem::path& path);

// The paths without repeats (by standardizedPath), first occurrence kept.
std::vector<std::filesystem::path> withoutDuplicatePaths(std::vector<std::filesystem::path> paths);

// What the analysis is given for these files: every file that is not part
// of a split pair, in order, then the pairs (left, right).
std::vector<CacheItem> analysisItems(std::vector<std::filesystem::path> paths);

// The cache the options ask for, or null when they ask for none.
std::unique_ptr<AnalysisCache> openAnalysisCache(const LibraryScanOptions& options);

// `files`, then the audio files below each folder (see scanDirectory),
// listed while the cache, if any, reads its entries for those folders on a
// thread of its own: the two take about as long. `beforeEach` is called
// with each folder before it is listed.
std::vector<std::filesystem::path> listSources(
    FileScannerService& scanner, std::vector<std::filesystem::path> files,
    const std::vector<std::filesystem::path>& folders, AnalysisCache* cache, const ScanProgress& progress = {},
    const std::atomic<bool>* stop = nullptr, const std::function<void(const std::filesystem::path&)>& beforeEach = {});

// Scans `files` and every audio file under `folders`, calling `sink` with
// each result as it is ready (on a worker thread; calls never overlap).
// Throws ScanError for a folder that cannot be listed, and
// AnalysisError(cancelled) or ScanError(cancelled) once `stop` is set.
void scanLibrary(const std::vector<std::filesystem::path>& files, const std::vector<std::filesystem::path>& folders,
                 const LibraryScanOptions& options, const ResultSink& sink, const std::atomic<bool>* stop = nullptr);

}  // namespace twinfold
