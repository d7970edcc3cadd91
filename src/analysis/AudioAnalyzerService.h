#pragma once

#include "analysis/AnalysisError.h"
#include "cache/AnalysisCache.h"
#include "records/FileEvidence.h"
#include "records/ScanResult.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace twinfold {

class AudioFileReader;
class StereoSource;
class StopFlags;

// Called after each result a batch gathers: (results so far, number of items
// in the batch, file name of the result just added). Calls never overlap;
// they are made on the batch's worker threads.
using BatchProgress = std::function<void(std::size_t resultsSoFar, std::size_t batchSize, const std::string& filename)>;

// Takes each result of a queue as soon as it is ready. Calls never overlap;
// they are made on the queue's worker threads.
using ResultSink = std::function<void(ScanResult result)>;

struct QueueOptions {
    int jobs = 0;                    // workers; 0 or less: one per core
    AnalysisCache* cache = nullptr;  // consulted first and filled, when given
};

// Classifies the channels of audio files: silent channels, dual mono, panned
// mono, phase inversion, and silent or duplicate channels of multichannel
// files. Every file is decoded once, in chunks, so memory stays bounded by
// one chunk per channel whatever the file length; frame counts are 64-bit.
//
// All operations are synchronous and run on the caller's thread (batches
// spread their files over worker threads of their own). The service keeps no
// state between calls except the cancellation flag, which any thread may set
// at any time; a running analysis notices it before its next chunk.
//
// Every operation also takes an optional `stop`: the caller's own token,
// tested wherever the flag is and never cleared here. The batches clear the
// service's flag when they start, so a caller that cancels just before a
// batch starts can only be heard through its token.
// A file that could not be read or analysed, listed with `reason`.
ScanResult unreadableResult(const std::filesystem::path& path, const std::string& reason);

class AudioAnalyzerService {
public:
    using AnalysisError = twinfold::AnalysisError;
    using Path = std::filesystem::path;
    // One entry per result of an item, in the same order.
    using PictureList = std::vector<EvidencePictures>;

    static constexpr std::uint32_t defaultChunkSize = 1'000'000;
    static constexpr int defaultMaxConcurrent = 4;
    // Raised whenever a change of the analysis could change a verdict, so
    // that results cached by an older one are not used.
    static constexpr std::uint32_t analyserVersion = 3;
    // One worker per core the machine has (at least one).
    static int defaultJobs();

    // `silenceThresholdLinear`: a sample is audio only when its magnitude is
    // strictly greater than this. `chunkSize` (frames, at least 1) is the unit
    // of cancellation and of the float sums of the panned-mono test (16-bit
    // files are summed exactly, in integers); it is a parameter only so that
    // tests can cut small files into many chunks.
    explicit AudioAnalyzerService(float silenceThresholdLinear, std::uint32_t chunkSize = defaultChunkSize);

    AudioAnalyzerService(const AudioAnalyzerService&) = delete;
    AudioAnalyzerService& operator=(const AudioAnalyzerService&) = delete;

    // One file of any channel count. Throws AnalysisError, or the audio
    // layer's / file system's own error when the file cannot be read. The
    // result carries the evidence's numbers; its pictures go to `pictures`
    // when given (left empty for a mono file, which is not analysed).
    ScanResult analyzeFile(const Path& path, const std::atomic<bool>* stop = nullptr,
                           EvidencePictures* pictures = nullptr);

    // Two mono files analysed as the left and right channel of one stereo
    // file; the result's pairedFilePath is `right`. Throws SplitStereoError
    // when the files do not match, otherwise as analyzeFile.
    ScanResult analyzeSplitPair(const Path& left, const Path& right, const std::atomic<bool>* stop = nullptr,
                                EvidencePictures* pictures = nullptr);

    // Clears the cancellation flag, then analyses the items (a file, or a
    // split pair when `partner` is set, as analyzeSplitPairBatch does) on a
    // pool of workers, each taking the next item as soon as it is done with
    // one; memory stays at one file's chunk per worker. Each result goes to
    // `sink` as soon as it is ready. With a cache, an item whose files have
    // not changed is answered from it without opening them, and new results
    // are stored. A file that cannot be read or analysed is listed as
    // unreadable, with the reason (unreadableResult). Throws
    // AnalysisError(cancelled) once the flag or `stop` is set (the running
    // files stop at their next chunk and are dropped, no item is started).
    // The items are taken: each leaves the list when its worker starts on it,
    // so a large library's paths are not held twice while results gather.
    void analyzeQueue(std::vector<CacheItem> items, const QueueOptions& options, const ResultSink& sink,
                      const std::atomic<bool>* stop = nullptr);

    // analyzeQueue on `maxConcurrent` workers (at least 1) without a cache,
    // the results gathered in the order they finished.
    std::vector<ScanResult> analyzeBatch(const std::vector<Path>& paths, int maxConcurrent,
                                         const BatchProgress& progress = {}, const std::atomic<bool>* stop = nullptr);

    // The same for split pairs (left, right), with analyzeSplitPair. Files
    // that turn out not to form a pair (SplitStereoError) are analysed as
    // two single files instead, each in the results when it can be.
    std::vector<ScanResult> analyzeSplitPairBatch(const std::vector<std::pair<Path, Path>>& pairs,
                                                  int maxConcurrent = defaultMaxConcurrent,
                                                  const BatchProgress& progress = {},
                                                  const std::atomic<bool>* stop = nullptr);

    void cancel() noexcept { cancelled_.store(true); }
    void clearCancelled() noexcept { cancelled_.store(false); }
    bool isCancelled() const noexcept { return cancelled_.load(); }

    float silenceThresholdLinear() const noexcept { return silenceThreshold_; }
    // How many audio files this service has opened for analysis (a split pair counts two).
    std::uint64_t filesOpened() const noexcept { return filesOpened_.load(); }
    std::uint32_t chunkSize() const noexcept { return chunkSize_; }

private:
    // analyzeFile, or for a file that cannot be read or analysed a result
    // that says why (AnalysisError(cancelled) passes through).
    ScanResult analyzeOrExplain(const Path& path, const std::atomic<bool>* stop, EvidencePictures* pictures = nullptr);
    // analyzeOrExplain for each path, each result carrying `note` as its
    // pairing note when one is given.
    std::vector<ScanResult> analyzeEach(const std::vector<Path>& paths, const std::string& note,
                                        const std::atomic<bool>* stop, PictureList* pictures = nullptr);
    // One item of a queue: a file, or a pair analysed as one (or as two
    // files when they are no pair).
    std::vector<ScanResult> analyzeItem(const CacheItem& item, const std::atomic<bool>* stop,
                                        PictureList* pictures = nullptr);
    std::vector<ScanResult> analyzePairOrEach(const Path& left, const Path& right, const std::atomic<bool>* stop,
                                              PictureList* pictures);
    std::vector<ScanResult> analyzeCached(const CacheItem& item, AnalysisCache* cache, const std::atomic<bool>* stop);
    ScanResult analyzeStereo(StereoSource& source, AudioFileInfo info, std::optional<Path> pairedFilePath,
                             std::chrono::steady_clock::time_point start, const StopFlags& stop,
                             EvidencePictures* pictures);
    ScanResult analyzeMultichannel(std::unique_ptr<AudioFileReader> file, AudioFileInfo info,
                                   std::chrono::steady_clock::time_point start, const StopFlags& stop,
                                   EvidencePictures* pictures);

    const float silenceThreshold_;
    const std::uint32_t chunkSize_;
    std::atomic<bool> cancelled_{false};
    std::atomic<std::uint64_t> filesOpened_{0};
};

}  // namespace twinfold
