// The analysis cache: results come back whole, only unchanged files are
// answered from it, and a damaged, locked or foreign cache never makes a
// scan fail or answer wrongly.
#include "analysis/AnalyzerFixture.h"
#include "cache/AnalysisCache.h"
#include "scanning/LibraryScan.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <thread>

namespace twinfold::test {
namespace {

namespace fs = std::filesystem;
constexpr PcmFormat kPcm16{PcmContainer::wav, PcmEncoding::int16, 48000};

// A result with the identifiers of `like`: records are equal apart from them.
ScanResult withIdsOf(ScanResult r, const ScanResult& like) {
    r.id = like.id;
    r.fileInfo.id = like.fileInfo.id;
    if (r.multichannelAnalysis && like.multichannelAnalysis &&
        r.multichannelAnalysis->channels.size() == like.multichannelAnalysis->channels.size())
        for (std::size_t c = 0; c < r.multichannelAnalysis->channels.size(); ++c)
            r.multichannelAnalysis->channels[c].id = like.multichannelAnalysis->channels[c].id;
    return r;
}

struct Scan {
    std::vector<ScanResult> results;  // by file name
    std::uint64_t filesOpened = 0;
};

class AnalysisCacheTest : public ::testing::Test {
protected:
    AnalysisCacheTest() {
        writePcm(dir / "dual.wav", kPcm16, stereo(StereoKind::dualMono, 4800, PcmEncoding::int16, 1));
        writePcm(dir / "panned.wav", kPcm16, stereo(StereoKind::panned, 4800, PcmEncoding::int16, 2, 0.4));
        writePcm(dir / "six.wav", kPcm16, multichannel({6, {{1, 2}}, {5}}, 4800, PcmEncoding::int16, 3));
        writePcm(dir / "mono.wav", kPcm16, {noise(4800, PcmEncoding::int16, 4)});
        const Signal s = noise(3000, PcmEncoding::int16, 5);
        writeSplitPair(dir.path(), "Kick", ".wav", kPcm16, s, s);
        writeSplitPair(dir.path(), "Odd", ".wav", kPcm16, s, noise(2999, PcmEncoding::int16, 6));
        options.cacheFile = cacheDir / "analysis.sqlite3";
        options.cacheSettleTime = std::chrono::nanoseconds(0);
        // File times move by clock ticks: let one pass before any change.
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }

    Scan scan(bool useCache = true, std::uint32_t version = AudioAnalyzerService::analyserVersion) {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(dir.path())) files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        const AnalysisCache::Options cacheOptions{.file = options.cacheFile,
                                                  .analyserVersion = version,
                                                  .silenceThresholdLinear = options.silenceThresholdLinear,
                                                  .settleTime = options.cacheSettleTime};
        const auto cache = useCache ? std::make_unique<AnalysisCache>(cacheOptions) : nullptr;
        AudioAnalyzerService analyzer(options.silenceThresholdLinear);
        Scan out;
        analyzer.analyzeQueue(analysisItems(files), {2, cache.get()},
                              [&](ScanResult r) { out.results.push_back(std::move(r)); });
        std::sort(out.results.begin(), out.results.end(),
                  [](const ScanResult& a, const ScanResult& b) { return a.fileInfo.path < b.fileInfo.path; });
        out.filesOpened = analyzer.filesOpened();
        return out;
    }

    // Every result equals the one a scan without the cache gives now.
    void expectFreshResults(const Scan& scanned) {
        const Scan fresh = scan(false);
        ASSERT_EQ(scanned.results.size(), fresh.results.size());
        for (std::size_t i = 0; i < fresh.results.size(); ++i) {
            ScanResult expected = withIdsOf(fresh.results[i], scanned.results[i]);
            expected.analysisTime = scanned.results[i].analysisTime;
            EXPECT_EQ(scanned.results[i], expected) << fresh.results[i].fileInfo.filename;
        }
    }

    TempDir dir;
    TempDir cacheDir;
    LibraryScanOptions options;
    // Four single files, a pair, and a "pair" that is not one: tried as one, then read singly.
    static constexpr std::uint64_t allFiles = 4 + 2 + 2 + 2;
};

TEST_F(AnalysisCacheTest, AnUnchangedFolderComesBackWholeWithoutOpeningAnyFile) {
    const Scan first = scan();
    EXPECT_EQ(first.filesOpened, allFiles);
    const Scan second = scan();
    ASSERT_TRUE(second.filesOpened == 0 && second.results.size() == first.results.size()) << second.filesOpened;
    for (std::size_t i = 0; i < first.results.size(); ++i) {
        const ScanResult& cached = second.results[i];
        EXPECT_NE(cached.id, first.results[i].id);  // a new record, as a new analysis would be
        EXPECT_EQ(withIdsOf(cached, first.results[i]), first.results[i]) << cached.fileInfo.filename;
    }
}

void copyOver(const fs::path& path) {
    const auto modified = fs::last_write_time(path);
    fs::copy_file(path, path.string() + ".tmp");
    fs::rename(path.string() + ".tmp", path);
    fs::last_write_time(path, modified);  // as cp -p or rsync -t would leave it
}

// What changes, in which file, and how.
using Change = std::tuple<const char*, const char*, std::function<void(const fs::path&)>>;
const Change kChanges[] = {
    {"modificationTime", "dual.wav",
     [](const fs::path& p) { fs::last_write_time(p, fs::last_write_time(p) + std::chrono::seconds(1)); }},
    {"size", "six.wav", [](const fs::path& p) { std::ofstream(p, std::ios::app | std::ios::binary) << "junk"; }},
    {"statusChangeTimeOnly", "panned.wav", [](const fs::path& p) { ::chmod(p.c_str(), 0600); }},
    {"inodeWithTheSameTimes", "mono.wav", copyOver},
    {"oneSideOfAPair", "Kick.R.wav", [](const fs::path& p) { ::chmod(p.c_str(), 0600); }},
};

class CacheChangeTest : public AnalysisCacheTest, public ::testing::WithParamInterface<Change> {};

TEST_P(CacheChangeTest, OnlyTheChangedFileIsAnalysedAgain) {
    const auto& [name, file, apply] = GetParam();
    scan();
    apply(dir / file);
    const Scan again = scan();
    const bool pair = std::string(file).starts_with("Kick");
    EXPECT_EQ(again.filesOpened, pair ? 2u : 1u);
    expectFreshResults(again);
}

INSTANTIATE_TEST_SUITE_P(Changes, CacheChangeTest, ::testing::ValuesIn(kChanges),
                         [](const auto& info) { return std::string(std::get<0>(info.param)); });

TEST_F(AnalysisCacheTest, ADamagedCacheIsRebuiltAndTheScanIsRight) {
    std::ofstream(options.cacheFile, std::ios::binary) << std::string(5000, '\x5a') << "not a database";
    const Scan scanned = scan();
    EXPECT_EQ(scanned.filesOpened, allFiles);
    expectFreshResults(scanned);
    EXPECT_EQ(scan().filesOpened, 0u);
}

TEST_F(AnalysisCacheTest, ALockedCacheIsPassedOverWithoutFailingTheScan) {
    scan();
    sqlite3* other = nullptr;
    ASSERT_TRUE(sqlite3_open(options.cacheFile.c_str(), &other) == SQLITE_OK &&
                sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) == SQLITE_OK);
    const Scan locked = scan();
    EXPECT_EQ(locked.filesOpened, allFiles);
    expectFreshResults(locked);
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(scan().filesOpened, 0u);
}

TEST_F(AnalysisCacheTest, ResultsOfAnotherAnalyserOrThresholdAreNotUsed) {
    scan();
    EXPECT_EQ(scan(true, AudioAnalyzerService::analyserVersion + 1).filesOpened, allFiles);
    options.silenceThresholdLinear = 0.5f;
    const Scan louder = scan(true, AudioAnalyzerService::analyserVersion + 1);
    EXPECT_EQ(louder.filesOpened, allFiles);
    expectFreshResults(louder);
}

TEST_F(AnalysisCacheTest, UnreadableAndJustChangedFilesAreNotKept) {
    std::ofstream(dir / "broken.wav", std::ios::binary) << "not audio";
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    scan();
    EXPECT_EQ(scan().filesOpened, 1u);  // the broken file may be readable next time
    fs::remove(dir / "broken.wav");
    options.cacheSettleTime = std::chrono::hours(1);  // every file is "just changed"
    fs::remove(options.cacheFile);
    scan();
    EXPECT_EQ(scan().filesOpened, allFiles);
}

}  // namespace
}  // namespace twinfold::test
