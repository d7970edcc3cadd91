#include "scanning/EvidenceLoader.h"

#include "analysis/AudioAnalyzerService.h"
#include "cache/AnalysisCache.h"

namespace twinfold {

namespace {

// The entry of the cache a result would have been stored under: a split
// pair listed as one result under both its files, anything else on its own.
CacheItem itemOf(const ScanResult& result) { return {result.fileInfo.path, result.pairedFilePath}; }

std::optional<EvidencePictures> fromCache(AnalysisCache& cache, const CacheItem& item, const ItemStamps& stamps) {
    const auto pictures = cache.lookupPictures(item, stamps);
    if (!pictures || pictures->size() != 1) return std::nullopt;
    return pictures->front();
}

}  // namespace

std::optional<EvidencePictures> loadEvidencePictures(const ScanResult& result) {
    if (result.unreadableReason) return std::nullopt;
    const CacheItem item = itemOf(result);
    try {
        // Each call has its own connection and analyser, so calls on any
        // threads never share state.
        AnalysisCache cache({.analyserVersion = AudioAnalyzerService::analyserVersion,
                             .silenceThresholdLinear = result.silenceThresholdLinear});
        const std::optional<ItemStamps> stamps = AnalysisCache::stampsOf(item);
        if (!stamps) return std::nullopt;  // a file is gone or unreadable
        if (auto cached = fromCache(cache, item, *stamps)) return cached;

        AudioAnalyzerService analyzer(result.silenceThresholdLinear);
        EvidencePictures pictures;
        const ScanResult fresh = item.partner ? analyzer.analyzeSplitPair(item.path, *item.partner, nullptr, &pictures)
                                              : analyzer.analyzeFile(item.path, nullptr, &pictures);
        cache.store(item, *stamps, {fresh}, {pictures});
        return pictures;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace twinfold
