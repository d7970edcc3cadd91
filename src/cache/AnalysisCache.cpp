#include "cache/AnalysisCache.h"

#include "cache/ResultCodec.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string_view>
#include <system_error>

namespace twinfold {

namespace fs = std::filesystem;

namespace {

// The pictures (kilobytes each) live in a table of their own, so that the
// scan's one pass over the results reads only the small records it needs.
constexpr const char* kSchema =
    "DROP TABLE IF EXISTS results; DROP TABLE IF EXISTS pictures;"
    "CREATE TABLE results(path BLOB NOT NULL, partner BLOB NOT NULL, key BLOB NOT NULL,"
    " payload BLOB NOT NULL, PRIMARY KEY(path, partner)) WITHOUT ROWID;"
    "CREATE TABLE pictures(path BLOB NOT NULL, partner BLOB NOT NULL, key BLOB NOT NULL,"
    " data BLOB NOT NULL, PRIMARY KEY(path, partner));";

template <typename T>
void append(std::string& bytes, T value) {
    bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void appendStamp(std::string& key, const FileStamp& s) {
    append(key, s.device);
    append(key, s.inode);
    append(key, s.size);
    append(key, s.modifiedNanoseconds);
    append(key, s.changedNanoseconds);
}

// Every result describes the files as they were stamped: a file changed
// while it was analysed gives a result that must not outlive the scan.
bool describesStampedFiles(const CacheItem& item, const ItemStamps& stamps, const std::vector<ScanResult>& results) {
    for (const ScanResult& r : results) {
        const bool isPartner = item.partner && r.fileInfo.path == *item.partner;
        const FileStamp& own = isPartner ? *stamps.partner : stamps.path;
        if (!own.describes(r.fileInfo.identity)) return false;
        if (r.pairedFilePath && (!stamps.partner || !stamps.partner->describes(r.fileInfo.pairedIdentity)))
            return false;
    }
    return true;
}

void bindText(sqlite3_stmt* statement, int index, const std::string& bytes) {
    sqlite3_bind_blob(statement, index, bytes.data(), int(bytes.size()), SQLITE_STATIC);
}

std::string_view columnBytes(sqlite3_stmt* statement, int column) {
    const void* data = sqlite3_column_blob(statement, column);
    const int size = sqlite3_column_bytes(statement, column);
    return data ? std::string_view(static_cast<const char*>(data), std::size_t(size)) : std::string_view();
}

}  // namespace

fs::path defaultAnalysisCacheFile() {
    fs::path base;
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && fs::path(xdg).is_absolute()) {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = fs::path(home) / ".cache";
    } else {
        base = fs::temp_directory_path();
    }
    return base / "Twinfold" / "analysis.sqlite3";
}

AnalysisCache::AnalysisCache(Options options) : options_(std::move(options)) {
    std::lock_guard lock(mutex_);
    if (!open()) close();
}

AnalysisCache::~AnalysisCache() {
    std::lock_guard lock(mutex_);
    commitPending();
    close();
}

bool AnalysisCache::isAvailable() const {
    std::lock_guard lock(mutex_);
    return db_ != nullptr;
}

bool AnalysisCache::open() {
    std::error_code error;
    fs::create_directories(options_.file.parent_path(), error);
    if (error) return false;
    const int opened = sqlite3_open_v2(options_.file.c_str(), &db_,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (opened != SQLITE_OK) return handle(opened);
    // Another program holding the database gets a short grace, no more: the
    // scan goes on without the cache rather than wait.
    sqlite3_busy_timeout(db_, 100);
    return prepareSchema();
}

// The database's user_version carries the analyser's version and the
// layout; any other value (a new file reads 0) means starting empty.
bool AnalysisCache::prepareSchema() {
    const int wanted = int(options_.analyserVersion * 100 + layoutVersion);
    sqlite3_stmt* version = nullptr;
    int code = sqlite3_prepare_v2(db_, "PRAGMA user_version", -1, &version, nullptr);
    int found = -1;
    if (code == SQLITE_OK && (code = sqlite3_step(version)) == SQLITE_ROW) found = sqlite3_column_int(version, 0);
    sqlite3_finalize(version);
    if (code != SQLITE_ROW) return handle(code);
    // A file another version wrote is replaced rather than emptied in place:
    // emptied, it would keep its size on the disk.
    if (found != wanted && found != 0 && !rebuilt_) return startAfresh();
    if (found != wanted) {
        const std::string reset =
            std::string("BEGIN IMMEDIATE;") + kSchema + "PRAGMA user_version=" + std::to_string(wanted) + ";COMMIT;";
        code = sqlite3_exec(db_, reset.c_str(), nullptr, nullptr, nullptr);
        if (code != SQLITE_OK) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            return handle(code);
        }
    }
    // Losing the last writes in a power cut costs a re-analysis, not a wrong answer.
    sqlite3_exec(db_, "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
    code =
        sqlite3_prepare_v2(db_, "SELECT key, payload FROM results WHERE path=?1 AND partner=?2", -1, &select_, nullptr);
    if (code == SQLITE_OK)
        code = sqlite3_prepare_v2(db_, "INSERT OR REPLACE INTO results VALUES(?1, ?2, ?3, ?4)", -1, &insert_, nullptr);
    if (code == SQLITE_OK)
        code = sqlite3_prepare_v2(db_, "INSERT OR REPLACE INTO pictures VALUES(?1, ?2, ?3, ?4)", -1, &insertPictures_,
                                  nullptr);
    return code == SQLITE_OK || handle(code);
}

void AnalysisCache::close() {
    sqlite3_finalize(select_);
    sqlite3_finalize(insert_);
    sqlite3_finalize(insertPictures_);
    select_ = insert_ = insertPictures_ = nullptr;
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
}

// A damaged file is removed and started afresh, once; anything else (a lock
// held elsewhere, a read-only or full disk) leaves the cache unused.
bool AnalysisCache::handle(int code) {
    const int primary = code & 0xff;
    close();
    if ((primary != SQLITE_CORRUPT && primary != SQLITE_NOTADB) || rebuilt_) return false;
    return startAfresh();
}

bool AnalysisCache::startAfresh() {
    close();
    rebuilt_ = true;
    std::error_code ignored;
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) fs::remove(options_.file.native() + suffix, ignored);
    if (!open()) close();
    return db_ != nullptr;
}

std::optional<ItemStamps> AnalysisCache::stampsOf(const CacheItem& item) {
    std::optional<FileStamp> own = FileStamp::of(item.path);
    if (!own) return std::nullopt;
    ItemStamps stamps{*own, std::nullopt};
    if (item.partner) {
        stamps.partner = FileStamp::of(*item.partner);
        if (!stamps.partner) return std::nullopt;
    }
    return stamps;
}

std::string AnalysisCache::keyFor(const ItemStamps& stamps) const {
    std::string key;
    key.reserve(2 * 5 * sizeof(std::int64_t) + sizeof(float));
    appendStamp(key, stamps.path);
    // A file without a partner keys on a partner stamp of zeros.
    FileStamp none;
    none.size = 0;
    appendStamp(key, stamps.partner.value_or(none));
    append(key, options_.silenceThresholdLinear);
    return key;
}

namespace {

std::uint64_t entryHash(std::string_view path, std::string_view partner) {
    const std::hash<std::string_view> hash;
    const std::uint64_t h = hash(path);
    return h ^ (hash(partner) + 0x9e3779b97f4a7c15u + (h << 6) + (h >> 2));
}

// Whether decoded results are those of the item (and not of another path
// whose entry hashed alike).
bool areResultsOf(const CacheItem& item, const std::vector<ScanResult>& results) {
    return std::any_of(results.begin(), results.end(), [&](const ScanResult& r) {
        const std::string& path = r.fileInfo.path.native();
        return path == item.path.native() || (item.partner && path == item.partner->native());
    });
}

}  // namespace

// One range query over the item paths' span (the primary key's order) is
// far cheaper than a query per file.
void AnalysisCache::prefetch(const std::vector<CacheItem>& items) {
    std::lock_guard lock(mutex_);
    const std::string* low = nullptr;
    const std::string* high = nullptr;
    for (const CacheItem& item : items) {
        const std::string& path = item.path.native();
        const bool read = std::any_of(prefetchedFolders_.begin(), prefetchedFolders_.end(),
                                      [&](const std::string& folder) { return path.starts_with(folder); });
        if (read) continue;
        if (!low || path < *low) low = &path;
        if (!high || path > *high) high = &path;
    }
    if (low && db_) readRange(*low, *high, true);
}

void AnalysisCache::prefetchFolders(const std::vector<fs::path>& folders) {
    std::lock_guard lock(mutex_);
    for (const fs::path& folder : folders) {
        if (!db_) return;
        std::string low = folder.native();
        if (low.empty()) continue;
        if (low.back() != '/') low += '/';
        // Every path below the folder sorts from "folder/" up to "folder0".
        std::string high = low;
        high.back() = '/' + 1;
        if (readRange(low, high, false)) prefetchedFolders_.push_back(std::move(low));
    }
}

// Adds the entries whose path lies from `low` to `high` to the prefetched
// ones (under the lock); false when the database failed.
bool AnalysisCache::readRange(const std::string& low, const std::string& high, bool highIncluded) {
    const char* query = highIncluded ? "SELECT path, partner, key, payload FROM results WHERE path BETWEEN ?1 AND ?2"
                                     : "SELECT path, partner, key, payload FROM results WHERE path >= ?1 AND path < ?2";
    sqlite3_stmt* range = nullptr;
    int code = sqlite3_prepare_v2(db_, query, -1, &range, nullptr);
    if (!prefetched_) prefetched_.emplace();
    if (code == SQLITE_OK) {
        bindText(range, 1, low);
        bindText(range, 2, high);
        while ((code = sqlite3_step(range)) == SQLITE_ROW) {
            const std::string_view key = columnBytes(range, 2);
            const std::string_view payload = columnBytes(range, 3);
            std::string entry;
            entry.reserve(key.size() + payload.size());
            entry.append(key).append(payload);
            prefetched_->emplace(entryHash(columnBytes(range, 0), columnBytes(range, 1)), std::move(entry));
        }
    }
    sqlite3_finalize(range);
    if (code == SQLITE_DONE) return true;
    // Lookups go to the database, or miss if it was closed.
    prefetched_.reset();
    prefetchedFolders_.clear();
    handle(code);
    return false;
}

std::optional<std::vector<ScanResult>> AnalysisCache::lookup(const CacheItem& item, const ItemStamps& stamps) {
    const std::string key = keyFor(stamps);
    const std::string& path = item.path.native();
    const std::string partner = item.partner ? item.partner->native() : std::string();
    if (prefetched_) {
        // Each item is looked up once: its entry leaves the map, so the
        // entries shrink while the results they become grow.
        std::unordered_map<std::uint64_t, std::string>::node_type found;
        {
            std::lock_guard lock(mutex_);
            found = prefetched_->extract(entryHash(path, partner));
        }
        if (found.empty() || !std::string_view(found.mapped()).starts_with(key)) return std::nullopt;
        auto results = decodeResults(std::string_view(found.mapped()).substr(key.size()));
        if (results && !areResultsOf(item, *results)) return std::nullopt;
        return results;
    }
    return select(path, partner, key);
}

std::optional<std::vector<ScanResult>> AnalysisCache::select(const std::string& path, const std::string& partner,
                                                             const std::string& key) {
    std::lock_guard lock(mutex_);
    if (!select_) return std::nullopt;
    bindText(select_, 1, path);
    bindText(select_, 2, partner);
    std::optional<std::vector<ScanResult>> results;
    const int code = sqlite3_step(select_);
    if (code == SQLITE_ROW && columnBytes(select_, 0) == key) results = decodeResults(columnBytes(select_, 1));
    sqlite3_reset(select_);
    if (code != SQLITE_ROW && code != SQLITE_DONE) handle(code);
    return results;
}

std::optional<std::vector<EvidencePictures>> AnalysisCache::lookupPictures(const CacheItem& item,
                                                                           const ItemStamps& stamps) {
    const std::string key = keyFor(stamps);
    std::lock_guard lock(mutex_);
    if (!db_) return std::nullopt;
    sqlite3_stmt* query = nullptr;
    int code =
        sqlite3_prepare_v2(db_, "SELECT key, data FROM pictures WHERE path=?1 AND partner=?2", -1, &query, nullptr);
    std::optional<std::vector<EvidencePictures>> pictures;
    const std::string partner = item.partner ? item.partner->native() : std::string();
    if (code == SQLITE_OK) {
        bindText(query, 1, item.path.native());
        bindText(query, 2, partner);
        code = sqlite3_step(query);
        if (code == SQLITE_ROW && columnBytes(query, 0) == key) pictures = decodePictures(columnBytes(query, 1));
    }
    sqlite3_finalize(query);
    if (code != SQLITE_ROW && code != SQLITE_DONE) handle(code);
    if (pictures && pictures->empty()) return std::nullopt;  // stored without them
    return pictures;
}

void AnalysisCache::store(const CacheItem& item, const ItemStamps& stamps, const std::vector<ScanResult>& results,
                          const std::vector<EvidencePictures>& pictures) {
    if (results.empty()) return;
    for (const ScanResult& r : results) {
        if (r.unreadableReason) return;
    }
    const auto settle = options_.settleTime.count();
    if (!stamps.path.isSettled(settle) || (stamps.partner && !stamps.partner->isSettled(settle))) return;
    if (!describesStampedFiles(item, stamps, results)) return;
    // Pictures go with the results they belong to, or not at all.
    const bool withPictures = pictures.size() == results.size();
    Pending entry{item.path.native(), item.partner ? item.partner->native() : std::string(), keyFor(stamps),
                  encodeResults(results), encodePictures(withPictures ? pictures : std::vector<EvidencePictures>())};
    std::lock_guard lock(mutex_);
    if (!insert_) return;
    pending_.push_back(std::move(entry));
    const bool due = std::chrono::steady_clock::now() - lastCommit_ >= options_.batchInterval;
    if (pending_.size() >= options_.batchSize || due) commitPending();
}

void AnalysisCache::flush() {
    std::lock_guard lock(mutex_);
    commitPending();
}

void AnalysisCache::commitPending() {
    lastCommit_ = std::chrono::steady_clock::now();
    if (pending_.empty() || !insert_) {
        pending_.clear();
        return;
    }
    int code = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    for (auto it = pending_.begin(); code == SQLITE_OK && it != pending_.end(); ++it) {
        for (auto [statement, data] : {std::pair{insert_, &it->payload}, std::pair{insertPictures_, &it->pictures}}) {
            bindText(statement, 1, it->path);
            bindText(statement, 2, it->partner);
            bindText(statement, 3, it->key);
            bindText(statement, 4, *data);
            code = sqlite3_step(statement);
            sqlite3_reset(statement);
            if (code != SQLITE_DONE) break;
            code = SQLITE_OK;
        }
    }
    if (code == SQLITE_OK) code = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    pending_.clear();
    if (code != SQLITE_OK) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        handle(code);
    }
}

}  // namespace twinfold
