// Library-scale scans, each a ratio against a baseline measured in the same run:
//   rescan: scanning an unchanged folder of 10,000 WAV files in process with
//           the analysis cache ÷ `find DIR -type f -printf '%s %T@\n'`, the
//           metadata a cache check needs (target ≤ 2); it also prints how many
//           audio files the rescan opened (must be 0).
//   queue:  a batch of 1 long + 7 short files on the work queue ÷ the long
//           file alone (target ≤ 1.1). The long file lasts 20 minutes: with
//           a file of a few milliseconds' work, waking the machine's second
//           core for the batch's workers was most of what the ratio measured.
// Usage: bench_library [files (10000)] [long-file seconds (1200)] [rescans (7)]
#include "analysis/AudioAnalyzerService.h"
#include "scanning/FileScannerService.h"
#include "scanning/LibraryScan.h"

#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace twinfold;

namespace {

double seconds(const std::function<void()>& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double medianOf(int runs, const std::function<void()>& run) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) times.push_back(seconds(run));
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void writeWav(const fs::path& path, std::int64_t frames, unsigned seed) {
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) std::abort();
    std::vector<short> block(2 * 65536);
    for (std::int64_t done = 0; done < frames;) {
        const std::int64_t n = std::min<std::int64_t>(65536, frames - done);
        for (std::int64_t i = 0; i < n; ++i) {
            seed = seed * 1664525u + 1013904223u;
            block[2 * i] = block[2 * i + 1] = short(seed >> 16);  // dual mono
        }
        sf_writef_short(file, block.data(), n);
        done += n;
    }
    sf_close(file);
}

fs::path tempFolder(const char* name) {
    std::string pattern = (fs::temp_directory_path() / name).string() + "-XXXXXX";
    if (!mkdtemp(pattern.data())) std::abort();
    return pattern;
}

void rescanBench(int fileCount, int rescans) {
    const fs::path root = tempFolder("twinfold-bench-library");
    for (int i = 0; i < fileCount; ++i) {
        const fs::path folder = root / ("session " + std::to_string(i / 100));
        fs::create_directories(folder);
        writeWav(folder / ("Take " + std::to_string(i) + ".wav"), 256, unsigned(i));
    }
    LibraryScanOptions options;
    options.cacheFile = root / "cache" / "analysis.sqlite3";
    options.cacheSettleTime = std::chrono::nanoseconds(0);  // nothing changes while the benchmark runs
    std::size_t results = 0;
    auto scanOnce = [&] {
        results = 0;
        scanLibrary({}, {root}, options, [&](ScanResult) { ++results; });
    };
    const double first = seconds(scanOnce);
    const double rescan = medianOf(rescans, scanOnce);
    const std::string find = "find '" + root.string() + "' -type f -printf '%s %T@\\n' >/dev/null";
    const double baseline = medianOf(7, [&] {
        if (std::system(find.c_str()) != 0) std::abort();
    });

    // The same rescan once more in its steps, counting the audio files the
    // analyser opens.
    FileScannerService scanner;
    std::vector<fs::path> listed;
    std::vector<CacheItem> items;
    std::unique_ptr<AnalysisCache> cache;
    AudioAnalyzerService analyzer(options.silenceThresholdLinear);
    const double listing = seconds([&] { listed = scanner.scanDirectory(root); });
    const double pairing = seconds([&] { items = analysisItems(withoutDuplicatePaths(std::move(listed))); });
    const double opening = seconds([&] { cache = openAnalysisCache(options); });
    const double answering = seconds([&] { analyzer.analyzeQueue(items, {0, cache.get()}, {}); });
    std::printf("rescan steps: listing %.1f ms, pairing %.1f ms, opening the cache %.1f ms, answering %.1f ms\n",
                listing * 1e3, pairing * 1e3, opening * 1e3, answering * 1e3);
    std::printf(
        "rescan of %d unchanged files: first scan %.0f ms, rescan %.1f ms, find %.1f ms -> ratio %.2f "
        "(target <= 2); %zu results, %llu audio files opened by the rescan\n",
        fileCount, first * 1e3, rescan * 1e3, baseline * 1e3, rescan / baseline, results,
        static_cast<unsigned long long>(analyzer.filesOpened()));
    fs::remove_all(root);
}

void queueBench(int longSeconds) {
    const fs::path root = tempFolder("twinfold-bench-queue");
    writeWav(root / "long.wav", std::int64_t(longSeconds) * 44100, 1);
    std::vector<CacheItem> items{{root / "long.wav", std::nullopt}};
    for (int i = 0; i < 7; ++i) {
        const fs::path file = root / ("short" + std::to_string(i) + ".wav");
        writeWav(file, std::int64_t(longSeconds) * 44100 / 40, unsigned(i + 2));
        items.push_back({file, std::nullopt});
    }
    const float threshold = LibraryScanOptions{}.silenceThresholdLinear;
    const double alone = medianOf(5, [&] { AudioAnalyzerService(threshold).analyzeFile(items[0].path); });
    const double batch = medianOf(5, [&] { AudioAnalyzerService(threshold).analyzeQueue(items, {}, {}); });
    std::printf(
        "1 long (%d s) + 7 short files on %d workers: %.1f ms, the long file alone %.1f ms -> ratio %.2f "
        "(target <= 1.1)\n",
        longSeconds, AudioAnalyzerService::defaultJobs(), batch * 1e3, alone * 1e3, batch / alone);
    fs::remove_all(root);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--help") {
        std::puts("bench_library [files (10000)] [long-file seconds (1200)] [rescans (7)]");
        return 0;
    }
    rescanBench(argc > 1 ? std::atoi(argv[1]) : 10000, argc > 3 ? std::atoi(argv[3]) : 7);
    queueBench(argc > 2 ? std::atoi(argv[2]) : 1200);
}
