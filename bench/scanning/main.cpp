// Lists a generated tree of 100,000 empty files in 1,000 folders (a third of
// them audio) with the scanner, sort included, and with a plain
// recursive_directory_iterator walk. The two alternate within each iteration
// so that both see the same machine load; the counters give the time ratio
// scanner / plain walk (target: at most 1.5).
#include "scanning/FileScannerService.h"

#include <benchmark/benchmark.h>

#include <time.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

fs::path treeRoot;
constexpr std::size_t audioFilesInTree = 33334;

fs::path makeTree() {
    std::string pattern = (fs::temp_directory_path() / "twinfold-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    const fs::path root = pattern;
    // Every third extension in the list is a supported one.
    static const char* const extensions[] = {".wav", ".txt", ".png", ".AIF", ".pdf", ".jpg", ".mp3", ".doc", ".xml"};
    for (int folder = 0; folder < 1000; ++folder) {
        const fs::path dir = root / ("group " + std::to_string(folder / 50)) / ("session " + std::to_string(folder));
        fs::create_directories(dir);
        for (int file = 0; file < 100; ++file)
            std::ofstream(dir / ("Take " + std::to_string(file) + extensions[(folder * 100 + file) % 9]));
    }
    return root;
}

struct Elapsed {
    double wall = 0;
    double cpu = 0;
};

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

template <typename Work>
Elapsed measure(Work&& work) {
    const auto wallStart = std::chrono::steady_clock::now();
    const double cpuStart = threadCpuSeconds();
    work();
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count(),
            threadCpuSeconds() - cpuStart};
}

std::size_t plainWalk() {
    std::size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(treeRoot))
        if (entry.is_regular_file()) ++files;
    return files;
}

void scanAgainstPlainWalk(benchmark::State& state) {
    twinfold::FileScannerService scanner;
    Elapsed plainSum, scanSum;
    for (auto _ : state) {
        const Elapsed plain = measure([] { benchmark::DoNotOptimize(plainWalk()); });
        // The caller keeps the list, so freeing it is not part of the listing.
        std::vector<fs::path> listed;
        const Elapsed scan = measure([&] { listed = scanner.scanDirectory(treeRoot); });
        if (listed.size() != audioFilesInTree) state.SkipWithError("unexpected number of audio files");
        state.SetIterationTime(scan.wall);
        plainSum.wall += plain.wall;
        plainSum.cpu += plain.cpu;
        scanSum.wall += scan.wall;
        scanSum.cpu += scan.cpu;
    }
    state.counters["plain_ms"] = 1e3 * plainSum.wall / static_cast<double>(state.iterations());
    state.counters["ratio"] = scanSum.wall / plainSum.wall;
    state.counters["ratio_cpu"] = scanSum.cpu / plainSum.cpu;
}

}  // namespace

BENCHMARK(scanAgainstPlainWalk)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(5.0);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    treeRoot = makeTree();
    benchmark::RunSpecifiedBenchmarks();
    fs::remove_all(treeRoot);
    benchmark::Shutdown();
    return 0;
}
