// The batch operations of AudioAnalyzerService: a queue of files (or pairs)
// served by a pool of worker threads, results handed on as they finish.

#include "analysis/AudioAnalyzerService.h"

#include "analysis/BlockLoop.h"

#include <algorithm>
#include <mutex>
#include <thread>

namespace twinfold {

namespace {

// Runs analyze(item) for every item on `jobs` threads, each taking the next
// item as soon as it has finished one, so a long file holds up nobody.
// deliver(results) is called under one lock, so calls never overlap. An item
// whose analysis throws gives no result; no item starts once `stop` is set.
template <typename Analyze, typename Deliver>
void runQueue(std::vector<CacheItem>& items, int jobs, const StopFlags& stop, const Analyze& analyze,
              const Deliver& deliver) {
    std::atomic<std::size_t> next{0};
    std::mutex delivering;
    auto work = [&] {
        for (std::size_t i = next++; i < items.size() && !stop.isSet(); i = next++) {
            // Each index goes to one worker only, which takes the item out.
            const CacheItem item = std::move(items[i]);
            std::vector<ScanResult> results;
            try {
                results = analyze(item);
            } catch (...) {
                continue;  // cancelled, or failed in a way no result can describe
            }
            std::lock_guard lock(delivering);
            deliver(std::move(results));
        }
    };
    const std::size_t workers = std::min<std::size_t>(std::size_t(std::max(jobs, 1)), items.size());
    std::vector<std::jthread> pool;
    for (std::size_t w = 1; w < workers; ++w) pool.emplace_back(work);
    if (workers > 0) work();  // the calling thread is one of the workers
}

}  // namespace

int AudioAnalyzerService::defaultJobs() { return int(std::max(1u, std::thread::hardware_concurrency())); }

ScanResult AudioAnalyzerService::analyzeOrExplain(const Path& path, const std::atomic<bool>* stop,
                                                  EvidencePictures* pictures) {
    try {
        return analyzeFile(path, stop, pictures);
    } catch (const AnalysisError& error) {
        if (error.errorCase() == AnalysisError::Case::cancelled) throw;
        return unreadableResult(path, error.what());
    } catch (const std::exception& error) {
        return unreadableResult(path, error.what());
    }
}

std::vector<ScanResult> AudioAnalyzerService::analyzeEach(const std::vector<Path>& paths, const std::string& note,
                                                          const std::atomic<bool>* stop, PictureList* pictures) {
    std::vector<ScanResult> outcome;
    if (pictures) pictures->clear();
    for (const Path& path : paths) {
        EvidencePictures own;
        outcome.push_back(analyzeOrExplain(path, stop, &own));
        if (pictures) pictures->push_back(std::move(own));
        if (!note.empty()) outcome.back().pairingNote = note;
    }
    return outcome;
}

std::vector<ScanResult> AudioAnalyzerService::analyzePairOrEach(const Path& left, const Path& right,
                                                                const std::atomic<bool>* stop, PictureList* pictures) {
    try {
        EvidencePictures own;
        ScanResult pair = analyzeSplitPair(left, right, stop, &own);
        if (pictures) *pictures = {std::move(own)};
        return {std::move(pair)};
    } catch (const SplitStereoError& error) {
        // Files named as a pair that are no pair (a stereo side, different
        // rates or lengths) are two files.
        return analyzeEach({left, right}, std::string("Not paired: ") + error.what(), stop, pictures);
    } catch (const AnalysisError& error) {
        if (error.errorCase() == AnalysisError::Case::cancelled) throw;
        return analyzeEach({left, right}, {}, stop, pictures);
    } catch (const std::exception&) {
        // A side that cannot be read: each file says why.
        return analyzeEach({left, right}, {}, stop, pictures);
    }
}

std::vector<ScanResult> AudioAnalyzerService::analyzeItem(const CacheItem& item, const std::atomic<bool>* stop,
                                                          PictureList* pictures) {
    if (item.partner) return analyzePairOrEach(item.path, *item.partner, stop, pictures);
    EvidencePictures own;
    ScanResult result = analyzeOrExplain(item.path, stop, &own);
    if (pictures) *pictures = {std::move(own)};
    return {std::move(result)};
}

// The files are stamped before they are read: a change during the analysis
// then shows as a stamp the cache will not match again.
std::vector<ScanResult> AudioAnalyzerService::analyzeCached(const CacheItem& item, AnalysisCache* cache,
                                                            const std::atomic<bool>* stop) {
    const std::optional<ItemStamps> stamps = cache ? AnalysisCache::stampsOf(item) : std::nullopt;
    if (stamps) {
        if (auto cached = cache->lookup(item, *stamps)) return std::move(*cached);
    }
    // The pictures go to the cache only; the results stay light.
    PictureList pictures;
    std::vector<ScanResult> results = analyzeItem(item, stop, &pictures);
    if (stamps) cache->store(item, *stamps, results, pictures);
    return results;
}

void AudioAnalyzerService::analyzeQueue(std::vector<CacheItem> items, const QueueOptions& options,
                                        const ResultSink& sink, const std::atomic<bool>* stop) {
    clearCancelled();
    const StopFlags stopFlags(cancelled_, stop);
    const int jobs = options.jobs > 0 ? options.jobs : defaultJobs();
    if (options.cache) options.cache->prefetch(items);
    runQueue(
        items, jobs, stopFlags, [&](const CacheItem& item) { return analyzeCached(item, options.cache, stop); },
        [&](std::vector<ScanResult> results) {
            for (ScanResult& result : results) {
                if (sink) sink(std::move(result));
            }
        });
    if (options.cache) options.cache->flush();
    // A cancel must not pass the files it dropped off as a complete batch.
    if (stopFlags.isSet()) throw AnalysisError(AnalysisError::Case::cancelled);
}

namespace {

std::vector<ScanResult> gather(AudioAnalyzerService& analyzer, const std::vector<CacheItem>& items, int jobs,
                               const BatchProgress& progress, const std::atomic<bool>* stop) {
    std::vector<ScanResult> results;
    analyzer.analyzeQueue(
        items, {std::max(jobs, 1), nullptr},
        [&](ScanResult result) {
            results.push_back(std::move(result));
            if (progress)
                progress(std::min(results.size(), items.size()), items.size(), results.back().fileInfo.filename);
        },
        stop);
    return results;
}

}  // namespace

std::vector<ScanResult> AudioAnalyzerService::analyzeBatch(const std::vector<Path>& paths, int maxConcurrent,
                                                           const BatchProgress& progress,
                                                           const std::atomic<bool>* stop) {
    std::vector<CacheItem> items;
    for (const Path& path : paths) items.push_back({path, std::nullopt});
    return gather(*this, items, maxConcurrent, progress, stop);
}

std::vector<ScanResult> AudioAnalyzerService::analyzeSplitPairBatch(const std::vector<std::pair<Path, Path>>& pairs,
                                                                    int maxConcurrent, const BatchProgress& progress,
                                                                    const std::atomic<bool>* stop) {
    std::vector<CacheItem> items;
    for (const auto& [left, right] : pairs) items.push_back({left, right});
    return gather(*this, items, maxConcurrent, progress, stop);
}

}  // namespace twinfold
