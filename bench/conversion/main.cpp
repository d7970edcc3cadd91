// Converts a generated 10-minute 24-bit 48 kHz stereo WAV (173 MB) to mono,
// with and without normalisation, and a 10-minute 6-channel WAV (518 MB) by
// splitting and by removing channels. Each is compared with decoding the same
// source through openAudioFile in chunks of 1,000,000 frames, and the mono
// conversion also with `sox in.wav out.wav remix 1` and with the physical
// limit: copying the source with plain 4 MiB read()/write() calls, with and
// without flushing the copy to the disk
// (the writers leave that to the workflow, which syncs outputs once before
// originals are touched). Sources stay in the page cache. A normalised
// conversion reads the source twice (peak pass, then the scaled copy).
#include "audio_io/AudioFileReader.h"
#include "conversion/AudioConverterService.h"
#include "support/PcmFixtures.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <string>
#include <sys/resource.h>
#include <ctime>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace twinfold;

namespace {

constexpr std::uint32_t kChunk = 1'000'000;
constexpr std::size_t kFrames = 48'000 * 600;

fs::path workDir, stereoPath, sixPath;

fs::path makeSource(const std::string& name, int channels) {
    const fs::path path = workDir / name;
    const test::PcmFormat format{test::PcmContainer::wav, test::PcmEncoding::int24, 48000};
    test::PcmFileWriter writer(path, format, channels);
    for (std::size_t done = 0; done < kFrames; done += kChunk) {
        const std::size_t n = std::min<std::size_t>(kChunk, kFrames - done);
        const auto seed = std::uint32_t(done / kChunk + 1);
        writer.append(channels == 2 ? test::stereo(test::StereoKind::trueStereo, n, format.encoding, seed)
                                    : test::multichannel({channels, {{0, 3}}, {5}}, n, format.encoding, seed));
    }
    writer.close();
    return path;
}

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Times `once` per iteration and removes what it wrote outside the timed part.
// Besides wall time it records "cpu_ms": the process's CPU time (every
// thread, user and system), which neither the disk nor other load inflates.
template <typename Once>
void measure(benchmark::State& state, Once once) {
    double cpu = 0;
    for (auto _ : state) {
        const double start = processCpuSeconds();
        const std::vector<fs::path> outputs = once();
        cpu += processCpuSeconds() - start;
        state.PauseTiming();
        for (const auto& output : outputs) fs::remove(output);
        state.ResumeTiming();
    }
    state.counters["cpu_ms"] = benchmark::Counter(cpu * 1e3 / double(state.iterations()));
}

void decode(benchmark::State& state, const fs::path& source) {
    measure(state, [&] {
        auto reader = openAudioFile(source);
        PCMBuffer buffer(reader->channelCount(), kChunk);
        std::int64_t total = 0;
        do {
            reader->read(buffer, kChunk);
            total += buffer.frameLength();
        } while (buffer.frameLength() > 0);
        if (total != std::int64_t(kFrames)) state.SkipWithError("short decode");
        benchmark::DoNotOptimize(buffer.channel(0));
        return std::vector<fs::path>{};
    });
}

// The physical limit. With argument 1 the copy is also flushed to the disk,
// as the workflow does before it touches originals.
void plainCopy(benchmark::State& state) {
    std::vector<char> block(4 << 20);
    const fs::path output = workDir / "copy.wav";
    measure(state, [&] {
        const int in = ::open(stereoPath.c_str(), O_RDONLY);
        const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        for (ssize_t got; (got = ::read(in, block.data(), block.size())) > 0;) {
            if (::write(out, block.data(), std::size_t(got)) != got) state.SkipWithError("write failed");
        }
        if (state.range(0) && ::fsync(out) != 0) state.SkipWithError("fsync failed");
        ::close(in);
        ::close(out);
        return std::vector<fs::path>{output};
    });
}

// The usual tool for the same job: sox keeping the first channel. Its CPU
// time is in a child process, so only its wall time compares.
void soxRemix(benchmark::State& state) {
    const fs::path output = workDir / "sox.wav";
    const std::string command = "sox '" + stereoPath.string() + "' '" + output.string() + "' remix 1";
    measure(state, [&] {
        if (std::system(command.c_str()) != 0) state.SkipWithError("sox failed");
        return std::vector<fs::path>{output};
    });
}

void decodeStereo(benchmark::State& state) { decode(state, stereoPath); }
void decodeSix(benchmark::State& state) { decode(state, sixPath); }

void monoConversion(benchmark::State& state) {
    AudioConverterService converter;
    const std::optional<float> target = state.range(0) ? std::optional(-1.0f) : std::nullopt;
    measure(state, [&] {
        return std::vector<fs::path>{
            converter.convertToMono(stereoPath, workDir / "mono.wav", ChannelSelection::left, target)};
    });
}

void splitSix(benchmark::State& state) {
    AudioConverterService converter;
    measure(state, [&] { return converter.splitAllChannels(sixPath, std::nullopt, AppSettings{}); });
}

void removeChannels(benchmark::State& state) {
    AudioConverterService converter;
    measure(state, [&] {
        converter.removeRedundantChannels(sixPath, workDir / "kept.wav", {0, 1, 2, 4});
        return std::vector<fs::path>{workDir / "kept.wav"};
    });
}

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            // "monoConversion/1/min_time:2.000/real_time" → "monoConversion/1"
            std::string name = run.benchmark_name();
            name = name.substr(0, name.find("/min_time"));
            seconds[name] = run.GetAdjustedRealTime();
            const auto cpu = run.counters.find("cpu_ms");
            if (cpu != run.counters.end()) cpuMs[name] = cpu->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    // Wall-time ratio, then the same for process CPU time.
    void ratio(const std::string& what, const std::string& base, const char* target) const {
        if (!seconds.count(what) || !seconds.count(base)) return;
        std::printf("%-17s / %-13s wall %5.2f  cpu %5.2f  %s\n", what.c_str(), base.c_str(),
                    seconds.at(what) / seconds.at(base), cpuMs.at(what) / cpuMs.at(base), target);
    }
    std::map<std::string, double> seconds, cpuMs;
};

// Runs one operation in a fresh process (this program, re-executed) and
// returns that process's peak resident memory in MB.
double peakMemoryOf(const std::string& operation) {
    const std::string command =
        fs::read_symlink("/proc/self/exe").string() + " --peak-memory " + operation + " \"" + workDir.string() + "\"";
    FILE* pipe = popen(command.c_str(), "r");
    double megabytes = -1;
    if (pipe && std::fscanf(pipe, "%lf", &megabytes) != 1) megabytes = -1;
    if (pipe) pclose(pipe);
    return megabytes;
}

int peakMemoryProbe(const std::string& operation, const fs::path& dir) {
    AudioConverterService converter;
    std::vector<fs::path> outputs;
    if (operation == "mono") {
        outputs = {converter.convertToMono(dir / "ten-minutes.wav", dir / "probe.wav", ChannelSelection::left, -1.0f)};
    } else if (operation == "split") {
        outputs = converter.splitAllChannels(dir / "ten-minutes-6ch.wav", std::nullopt, AppSettings{});
    } else {
        converter.removeRedundantChannels(dir / "ten-minutes-6ch.wav", dir / "probe.wav", {0, 1, 2, 4});
        outputs = {dir / "probe.wav"};
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    for (const auto& output : outputs) fs::remove(output);
    std::printf("%.1f\n", double(usage.ru_maxrss) / 1024);
    return 0;
}

}  // namespace

BENCHMARK(plainCopy)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(soxRemix)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(decodeStereo)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(monoConversion)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(decodeSix)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(splitSix)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(removeChannels)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--peak-memory") return peakMemoryProbe(argv[2], argv[3]);
    benchmark::Initialize(&argc, argv);
    std::string pattern = (fs::temp_directory_path() / "twinfold-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return 1;
    workDir = pattern;
    stereoPath = makeSource("ten-minutes.wav", 2);
    sixPath = makeSource("ten-minutes-6ch.wav", 6);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double monoMB = peakMemoryOf("mono"), splitMB = peakMemoryOf("split"), removeMB = peakMemoryOf("remove");
    fs::remove_all(workDir);

    reporter.ratio("monoConversion/0", "decodeStereo", "(target <= 1.3)");
    reporter.ratio("monoConversion/1", "decodeStereo", "(target <= 2.3)");
    reporter.ratio("monoConversion/0", "plainCopy/0", "(target <= 1.5)");
    reporter.ratio("monoConversion/0", "plainCopy/1", "(both flushed to disk)");
    reporter.ratio("monoConversion/0", "soxRemix", "(target <= 0.35; wall time only, sox runs in a child)");
    reporter.ratio("splitSix", "decodeSix", "");
    reporter.ratio("removeChannels", "decodeSix", "");
    std::printf(
        "peak resident memory (MB, target < 100): normalised mono %.1f, 6-channel split %.1f, "
        "channel removal %.1f\n",
        monoMB, splitMB, removeMB);
    benchmark::Shutdown();
    return 0;
}
