// Speed and memory of AudioAnalyzerService on generated long files, as
// ratios against baselines measured in the same run:
//   analyze ÷ decode  — the analysis costs (nearly) one decode of the file;
//   analyze ÷ raw     — against reading the file's bytes with plain read();
//   batch speed-up    — 8 files with maxConcurrent 4 against 8 sequential calls;
//   peak memory       — of a child process running the batch, for long and
//                       for short files.
// Options: --minutes=N (default 10) plus Google Benchmark's own flags.

#include "BenchFiles.h"
#include "analysis/AudioAnalyzerService.h"
#include "audio_io/AudioFileReader.h"

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string>

namespace {

using namespace twinfold;
using namespace twinfold::bench;
using Path = std::filesystem::path;

const float silenceThreshold = std::pow(10.0f, -96.0f / 20.0f);
constexpr std::uint32_t blockFrames = 1'000'000;

void decodeOnly(const Path& path) {
    auto reader = openAudioFile(path);
    PCMBuffer buffer(reader->channelCount(), blockFrames);
    do {
        reader->read(buffer, blockFrames);
        benchmark::DoNotOptimize(buffer.channel(0));
    } while (buffer.frameLength() > 0);
}

void rawRead(const Path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) throw std::runtime_error(std::strerror(errno));
    static std::vector<char> block(4 << 20);
    while (::read(fd, block.data(), block.size()) > 0) benchmark::DoNotOptimize(block.data());
    ::close(fd);
}

void sndfileFloat(const Path& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    std::vector<float> interleaved(std::size_t(blockFrames) * std::size_t(info.channels));
    while (sf_readf_float(file, interleaved.data(), blockFrames) > 0) benchmark::DoNotOptimize(interleaved.data());
    sf_close(file);
}

void analyze(const Path& path) { benchmark::DoNotOptimize(AudioAnalyzerService(silenceThreshold).analyzeFile(path)); }

struct Timing {
    double wall = 0, cpu = 0;  // seconds
};

// Keeps the fastest repetition of each benchmark, the figure least disturbed
// by whatever else the machine is doing. CPU time is the whole process's,
// so it stays meaningful when other processes compete for the cores.
class FastestRuns : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Aggregate || run.aggregate_name != "min") continue;
            // Reported in milliseconds.
            timings[run.run_name.function_name] = {run.GetAdjustedRealTime() / 1e3, run.GetAdjustedCPUTime() / 1e3};
        }
    }
    std::map<std::string, Timing> timings;
};

benchmark::internal::Benchmark* measure(const std::string& name, std::function<void()> work, int repetitions = 5) {
    return benchmark::RegisterBenchmark(name.c_str(),
                                        [work](benchmark::State& state) {
                                            for (auto _ : state) work();
                                        })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->MeasureProcessCPUTime()
        ->Iterations(1)
        ->Repetitions(repetitions)
        ->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); })
        ->ReportAggregatesOnly(true);
}

// VmHWM of this process in MB.
double peakMegabytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmHWM:")) return std::stod(line.substr(6)) / 1024.0;
    }
    return -1;
}

// Runs the batch in a fresh process so its peak is not hidden by the
// parent's (file generation, benchmark buffers).
double childPeakMegabytes(const std::vector<Path>& files) {
    // Built with += only: g++ 12 gives a false -Wrestrict warning for "literal" + string.
    std::string command(1, '\'');
    command += std::filesystem::read_symlink("/proc/self/exe").string();
    command += "' --peak-memory";
    for (const Path& f : files) command += " '", command += f.string(), command += '\'';
    FILE* pipe = popen(command.c_str(), "r");
    double mb = -1;
    if (pipe && std::fscanf(pipe, "%lf", &mb) != 1) mb = -1;
    if (pipe) pclose(pipe);
    return mb;
}

int peakMemoryChild(int argc, char** argv) {
    std::vector<Path> files(argv + 2, argv + argc);
    AudioAnalyzerService analyzer(silenceThreshold);
    const auto results = files.empty() ? std::vector<ScanResult>{} : analyzer.analyzeBatch(files, 4);
    if (results.size() != files.size()) return 1;
    std::printf("%.1f\n", peakMegabytes());
    return 0;
}

double minutesOption(int& argc, char** argv) {
    double minutes = 10;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--minutes=", 10) != 0) continue;
        minutes = std::stod(argv[i] + 10);
        std::copy(argv + i + 1, argv + argc, argv + i);
        --argc;
        break;
    }
    return minutes;
}

std::string numbered(const char* prefix, int i) {
    std::string name = prefix;
    name += std::to_string(i);
    return name;
}

struct Files {
    std::vector<BenchFile> classes;  // one per kind of content, the first five 24-bit stereo
    std::vector<Path> batch;         // eight 24-bit stereo files
    std::vector<Path> shortBatch;    // the same at a tenth of the length
};

Files generate(const Path& dir, double seconds) {
    Files f;
    const std::pair<const char*, Content> stereo[] = {{"trueStereo", Content::trueStereo},
                                                      {"dualMono", Content::dualMono},
                                                      {"panned", Content::panned},
                                                      {"phaseInverted", Content::phaseInverted},
                                                      {"oneSideSilent", Content::oneSideSilent}};
    std::uint32_t seed = 1;
    for (auto [name, content] : stereo)
        f.classes.push_back(writeBenchFile(dir, name, content, 24, 48000, seconds, seed++));
    f.classes.push_back(writeBenchFile(dir, "sixChannel", Content::sixChannels, 24, 48000, seconds, seed++));
    f.classes.push_back(writeBenchFile(dir, "trueStereo16bit44k", Content::trueStereo, 16, 44100, seconds, seed++));
    for (int i = 0; i < 5; ++i) f.batch.push_back(f.classes[std::size_t(i)].path);
    for (int i = 0; i < 3; ++i) {
        f.batch.push_back(
            writeBenchFile(dir, numbered("extra", i), Content::trueStereo, 24, 48000, seconds, seed++).path);
    }
    for (int i = 0; i < 8; ++i) {
        const Content c = i < 5 ? std::get<1>(stereo[i]) : Content::trueStereo;
        f.shortBatch.push_back(writeBenchFile(dir, numbered("short", i), c, 24, 48000, seconds / 10, seed++).path);
    }
    return f;
}

void report(const Files& files, const std::map<std::string, Timing>& t, double minutes) {
    std::printf(
        "\nRatios, fastest of 5 runs each (files of %.1f minutes, in the page cache); wall clock, "
        "and in brackets process CPU time\n",
        minutes);
    std::printf("%-19s %15s %15s %19s %19s %19s\n", "file", "analyze ms", "decode ms", "analyze/decode", "analyze/raw",
                "sf_readf_float/raw");
    auto ratio = [&](const std::string& a, const std::string& b) {
        char text[32];
        std::snprintf(text, sizeof text, "%.2f (%.2f)", t.at(a).wall / t.at(b).wall, t.at(a).cpu / t.at(b).cpu);
        return std::string(text);
    };
    auto ms = [&](const std::string& a) {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f (%.1f)", t.at(a).wall * 1e3, t.at(a).cpu * 1e3);
        return std::string(text);
    };
    for (const BenchFile& f : files.classes) {
        const std::string a = "analyze/" + f.name, d = "decode/" + f.name, r = "raw/" + f.name;
        std::printf("%-19s %15s %15s %19s %19s %19s\n", f.name.c_str(), ms(a).c_str(), ms(d).c_str(),
                    ratio(a, d).c_str(), ratio(a, r).c_str(), ratio("sf_readf_float/" + f.name, r).c_str());
    }
    const Timing& parallel = t.at("batch/analyzeBatch");
    const Timing& sequential = t.at("batch/sequential");
    std::printf(
        "\nBatch of 8: analyzeBatch(maxConcurrent 4) %.0f ms (CPU %.0f ms), 8 sequential analyzeFile "
        "%.0f ms (CPU %.0f ms), speed-up %.2fx\n",
        parallel.wall * 1e3, parallel.cpu * 1e3, sequential.wall * 1e3, sequential.cpu * 1e3,
        sequential.wall / parallel.wall);
    std::printf(
        "Peak memory (VmHWM of a child process): idle %.1f MB, batch of 8 long files %.1f MB, "
        "batch of 8 files a tenth as long %.1f MB\n",
        childPeakMegabytes({}), childPeakMegabytes(files.batch), childPeakMegabytes(files.shortBatch));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--peak-memory") == 0) return peakMemoryChild(argc, argv);
    const double minutes = minutesOption(argc, argv);
    benchmark::Initialize(&argc, argv);
    BenchDir dir;
    std::fprintf(stderr, "Writing test files to %s ...\n", dir.path().c_str());
    const Files files = generate(dir.path(), minutes * 60);

    for (const BenchFile& f : files.classes) {
        measure("raw/" + f.name, [p = f.path] { rawRead(p); });
        measure("sf_readf_float/" + f.name, [p = f.path] { sndfileFloat(p); });
        measure("decode/" + f.name, [p = f.path] { decodeOnly(p); });
        measure("analyze/" + f.name, [p = f.path] { analyze(p); });
    }
    measure(
        "batch/analyzeBatch", [&] { AudioAnalyzerService(silenceThreshold).analyzeBatch(files.batch, 4); }, 3);
    measure(
        "batch/sequential",
        [&] {
            AudioAnalyzerService analyzer(silenceThreshold);
            for (const Path& p : files.batch) benchmark::DoNotOptimize(analyzer.analyzeFile(p));
        },
        3);

    FastestRuns reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    try {
        report(files, reporter.timings, minutes);
    } catch (const std::out_of_range&) {
        std::printf("\n(ratios need every benchmark; run without --benchmark_filter)\n");
    }
    benchmark::Shutdown();
    return 0;
}
