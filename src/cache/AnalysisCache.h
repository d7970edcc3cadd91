#pragma once

#include "cache/FileStamp.h"
#include "records/FileEvidence.h"
#include "records/ScanResult.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace twinfold {

// $XDG_CACHE_HOME/Twinfold/analysis.sqlite3, or ~/.cache/Twinfold/… when
// XDG_CACHE_HOME is unset or not absolute.
std::filesystem::path defaultAnalysisCacheFile();

// One item the analysis caches: a file on its own, or the two files of a
// split pair (whose analysis may list them as one result or as two).
struct CacheItem {
    std::filesystem::path path;
    std::optional<std::filesystem::path> partner;
};

// The stamps of an item's files taken before it was analysed.
struct ItemStamps {
    FileStamp path;
    std::optional<FileStamp> partner;
};

// Analysis results kept between scans in an SQLite database, keyed by the
// item's paths, the stamps of its files (FileStamp), the silence threshold
// and `formatVersion` (the analyser's version with this file's own layout).
//
// The cache can make a scan slower, never wrong: a database that is missing,
// from another version or damaged is emptied and built again; one locked by
// another program is left alone and every lookup misses. No call throws.
// Writes are gathered and committed in one transaction every
// `batchSize` results or `batchInterval`, and when the cache is flushed or
// destroyed. Thread-safe: the analysis workers share one.
class AnalysisCache {
public:
    struct Options {
        std::filesystem::path file = defaultAnalysisCacheFile();
        // The analysis's own version; results from any other are dropped.
        std::uint32_t analyserVersion = 0;
        float silenceThresholdLinear = 0;
        // A file whose times are within this of the moment it was stamped
        // is not cached: a change in the same clock tick (or within the
        // two-second resolution of a memory card) would not move them.
        std::chrono::nanoseconds settleTime = std::chrono::seconds(3);
        std::size_t batchSize = 200;
        std::chrono::milliseconds batchInterval{1000};
    };

    explicit AnalysisCache(Options options);
    ~AnalysisCache();
    AnalysisCache(const AnalysisCache&) = delete;
    AnalysisCache& operator=(const AnalysisCache&) = delete;

    // Stamps the item's files now; nothing when one cannot be read.
    static std::optional<ItemStamps> stampsOf(const CacheItem& item);

    // Reads every entry that can belong to `items` in one pass, so that their
    // lookups need no query each; an item it did not find then misses at once.
    // Each entry read answers one lookup (a scan looks each item up once).
    // Items below a folder already read (prefetchFolders) need no second read.
    void prefetch(const std::vector<CacheItem>& items);
    // Reads every entry of a file below the folders, so that it can be done
    // while they are listed.
    void prefetchFolders(const std::vector<std::filesystem::path>& folders);

    // The cached results when the entry matches the stamps exactly; record
    // identifiers are fresh and the identities are the files' current ones.
    std::optional<std::vector<ScanResult>> lookup(const CacheItem& item, const ItemStamps& stamps);
    // The pictures stored with the results, one per result in their order,
    // when the entry matches the stamps and has them. Never prefetched: a
    // scan does not need them.
    std::optional<std::vector<EvidencePictures>> lookupPictures(const CacheItem& item, const ItemStamps& stamps);
    // Keeps the results (and their pictures, one per result, when given)
    // unless one of them is unreadable (the file may be readable next time)
    // or a file was changed too recently to be trusted.
    void store(const CacheItem& item, const ItemStamps& stamps, const std::vector<ScanResult>& results,
               const std::vector<EvidencePictures>& pictures = {});
    // Commits the writes gathered so far.
    void flush();

    // Whether the database is in use (false when it could not be opened or
    // was locked by another program).
    bool isAvailable() const;
    static constexpr std::uint32_t layoutVersion = 3;

private:
    struct Pending {
        std::string path;
        std::string partner;
        std::string key;
        std::string payload;
        std::string pictures;
    };
    bool open();
    bool prepareSchema();
    void close();
    bool handle(int code);
    bool startAfresh();
    void commitPending();
    std::string keyFor(const ItemStamps& stamps) const;
    std::optional<std::vector<ScanResult>> select(const std::string& path, const std::string& partner,
                                                  const std::string& key);

    Options options_;
    mutable std::mutex mutex_;
    sqlite3* db_ = nullptr;
    sqlite3_stmt* select_ = nullptr;
    sqlite3_stmt* insert_ = nullptr;
    sqlite3_stmt* insertPictures_ = nullptr;
    bool rebuilt_ = false;
    // Entries read by prefetch, each its key followed by its payload, by a
    // hash of path and partner (a collision can only cost a miss: a lookup
    // checks the key and the paths of what it decodes); each is taken out
    // (under the lock) by its lookup.
    std::optional<std::unordered_map<std::uint64_t, std::string>> prefetched_;
    std::vector<std::string> prefetchedFolders_;  // each ending in '/'
    bool readRange(const std::string& low, const std::string& high, bool highIncluded);
    std::vector<Pending> pending_;
    std::chrono::steady_clock::time_point lastCommit_ = std::chrono::steady_clock::now();
};

}  // namespace twinfold
