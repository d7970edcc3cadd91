// The batch operations of AudioAnalyzerService: groups of files (or pairs)
// analysed on parallel worker threads, results gathered in completion order.

#include "analysis/AudioAnalyzerService.h"

#include "analysis/ChunkLoop.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <span>
#include <thread>

namespace twinfold {

namespace {

// Finished analyses of one group, handed from the workers to the caller's
// thread in the order they finish. An item gives no result when it failed,
// one as a rule, and two for a split pair whose sides are listed singly.
using Outcome = std::vector<ScanResult>;

class CompletionQueue {
public:
    void push(Outcome outcome) {
        {
            std::lock_guard lock(mutex_);
            outcomes_.push_back(std::move(outcome));
        }
        ready_.notify_one();
    }

    Outcome pop() {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return !outcomes_.empty(); });
        Outcome outcome = std::move(outcomes_.front());
        outcomes_.pop_front();
        return outcome;
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Outcome> outcomes_;
};

// Analyses the items of one group in parallel and appends their results in
// the order they finish, reporting each one from this (the caller's) thread,
// so progress calls never overlap.
template <typename Item, typename Analyze>
void runGroup(std::span<const Item> group, std::size_t batchSize, const Analyze& analyze,
              const BatchProgress& progress, std::vector<ScanResult>& results) {
    CompletionQueue queue;  // outlives the workers, which are joined first
    std::vector<std::jthread> workers;
    workers.reserve(group.size());
    for (const Item& item : group) {
        workers.emplace_back([&queue, &analyze, &item] {
            Outcome outcome;
            try {
                outcome = analyze(item);
            } catch (...) {
                // A file that cannot be analysed is left out of the batch.
            }
            queue.push(std::move(outcome));
        });
    }
    for (std::size_t i = 0; i < group.size(); ++i) {
        for (ScanResult& result : queue.pop()) {
            results.push_back(std::move(result));
            if (progress) progress(std::min(results.size(), batchSize), batchSize, results.back().fileInfo.filename);
        }
    }
}

template <typename Item, typename Analyze>
std::vector<ScanResult> runInGroups(const std::vector<Item>& items, int maxConcurrent,
                                    const BatchProgress& progress, const StopFlags& stop, const Analyze& analyze) {
    const std::size_t groupSize = std::size_t(std::max(maxConcurrent, 1));
    std::vector<ScanResult> results;
    const std::span<const Item> all(items);
    for (std::size_t first = 0; first < all.size(); first += groupSize) {
        if (stop.isSet()) throw AnalysisError(AnalysisError::Case::cancelled);
        runGroup(all.subspan(first, std::min(groupSize, all.size() - first)), all.size(), analyze, progress,
                 results);
    }
    // A cancel during the last group must not pass the files it dropped off
    // as a complete batch.
    if (stop.isSet()) throw AnalysisError(AnalysisError::Case::cancelled);
    return results;
}

}  // namespace

ScanResult AudioAnalyzerService::analyzeOrExplain(const Path& url, const std::atomic<bool>* stop) {
    try {
        return analyzeFile(url, stop);
    } catch (const AnalysisError& error) {
        if (error.errorCase() == AnalysisError::Case::cancelled) throw;
        return unreadableResult(url, error.what());
    } catch (const std::exception& error) {
        return unreadableResult(url, error.what());
    }
}

std::vector<ScanResult> AudioAnalyzerService::analyzeEach(const std::vector<Path>& urls, const std::string& note,
                                                          const std::atomic<bool>* stop) {
    Outcome outcome;
    for (const Path& url : urls) {
        outcome.push_back(analyzeOrExplain(url, stop));
        if (!note.empty()) outcome.back().pairingNote = note;
    }
    return outcome;
}

std::vector<ScanResult> AudioAnalyzerService::analyzeBatch(const std::vector<Path>& urls, int maxConcurrent,
                                                           const BatchProgress& progress,
                                                           const std::atomic<bool>* stop) {
    clearCancelled();
    return runInGroups(urls, maxConcurrent, progress, StopFlags(cancelled_, stop),
                       [this, stop](const Path& url) { return Outcome{analyzeOrExplain(url, stop)}; });
}

std::vector<ScanResult> AudioAnalyzerService::analyzeSplitPairBatch(
    const std::vector<std::pair<Path, Path>>& pairs, int maxConcurrent, const BatchProgress& progress,
    const std::atomic<bool>* stop) {
    clearCancelled();
    return runInGroups(pairs, maxConcurrent, progress, StopFlags(cancelled_, stop),
                       [this, stop](const std::pair<Path, Path>& pair) {
                           try {
                               return Outcome{analyzeSplitPair(pair.first, pair.second, stop)};
                           } catch (const SplitStereoError& error) {
                               // Files named as a pair that are no pair (a stereo
                               // side, different rates or lengths) are two files.
                               return analyzeEach({pair.first, pair.second},
                                                  std::string("Not paired: ") + error.what(), stop);
                           } catch (const AnalysisError& error) {
                               if (error.errorCase() == AnalysisError::Case::cancelled) throw;
                               return analyzeEach({pair.first, pair.second}, {}, stop);
                           } catch (const std::exception&) {
                               // A side that cannot be read: each file says why.
                               return analyzeEach({pair.first, pair.second}, {}, stop);
                           }
                       });
}

}  // namespace twinfold
