// Lists a generated tree of 100,000 empty files in 1,000 folders (a third of
// them audio) with the scanner, sort included, and with a plain
// recursive_directory_iterator walk, and prints the ratio of the two times.
#include "scanning/FileScannerService.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace fs = std::filesystem;

namespace {

fs::path treeRoot;

fs::path makeTree() {
    std::string pattern = (fs::temp_directory_path() / "twinfold-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    const fs::path root = pattern;
    static const char* const extensions[] = {".wav", ".txt", ".png", ".AIF", ".pdf", ".jpg", ".mp3", ".doc", ".xml"};
    for (int folder = 0; folder < 1000; ++folder) {
        const fs::path dir = root / ("group " + std::to_string(folder / 50)) / ("session " + std::to_string(folder));
        fs::create_directories(dir);
        for (int file = 0; file < 100; ++file) {
            // Every third extension in the list is a supported one.
            const int kind = (folder * 100 + file) % 9;
            std::ofstream(dir / ("Take " + std::to_string(file) + extensions[kind]));
        }
    }
    return root;
}

void plainWalk(benchmark::State& state) {
    for (auto _ : state) {
        std::size_t files = 0;
        for (const auto& entry : fs::recursive_directory_iterator(treeRoot))
            if (entry.is_regular_file()) ++files;
        benchmark::DoNotOptimize(files);
    }
}

void scanDirectory(benchmark::State& state) {
    twinfold::FileScannerService scanner;
    for (auto _ : state) {
        auto files = scanner.scanDirectory(treeRoot);
        if (files.size() != 33334) state.SkipWithError("unexpected number of audio files");
        benchmark::DoNotOptimize(files);
    }
}

// Keeps each benchmark's mean time per iteration for the closing ratio.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            const std::string name = run.benchmark_name();
            seconds[name.substr(0, name.find('/'))] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
};

}  // namespace

BENCHMARK(plainWalk)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(scanDirectory)->Unit(benchmark::kMillisecond)->MinTime(3.0);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    treeRoot = makeTree();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    fs::remove_all(treeRoot);
    const auto plain = reporter.seconds.find("plainWalk");
    const auto scan = reporter.seconds.find("scanDirectory");
    if (plain != reporter.seconds.end() && scan != reporter.seconds.end())
        std::printf("scanDirectory / plain walk: %.2f (target <= 1.5)\n", scan->second / plain->second);
    benchmark::Shutdown();
    return 0;
}
