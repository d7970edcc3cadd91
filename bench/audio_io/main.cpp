// Reads a 10-minute 24-bit 48 kHz stereo WAV (173 MB, in the page cache)
// through openAudioFile in chunks of 1,000,000 frames, as float and as
// integers, and compares it with plain read() calls of 4 MiB over the same
// bytes; libsndfile's own sf_readf_float is shown for reference.
#include "audio_io/AudioFileReader.h"
#include "support/PcmFixtures.h"

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kChunk = 1'000'000;
constexpr std::size_t kFrames = 48'000 * 600;

fs::path wavPath;

fs::path makeWav(const fs::path& dir) {
    const fs::path path = dir / "ten-minutes.wav";
    const twinfold::test::PcmFormat format{twinfold::test::PcmContainer::wav, twinfold::test::PcmEncoding::int24,
                                           48000};
    twinfold::test::PcmFileWriter writer(path, format, 2);
    for (std::size_t done = 0; done < kFrames; done += kChunk) {
        const std::size_t n = std::min<std::size_t>(kChunk, kFrames - done);
        writer.append(twinfold::test::stereo(twinfold::test::StereoKind::trueStereo, n, format.encoding,
                                             std::uint32_t(done / kChunk + 1)));
    }
    writer.close();
    return path;
}

void plainRead(benchmark::State& state) {
    std::vector<char> block(4 << 20);
    for (auto _ : state) {
        const int fd = ::open(wavPath.c_str(), O_RDONLY);
        std::size_t total = 0;
        for (ssize_t got; (got = ::read(fd, block.data(), block.size())) > 0;) total += std::size_t(got);
        ::close(fd);
        benchmark::DoNotOptimize(total);
        benchmark::DoNotOptimize(block.data());
    }
}

void readerFloat(benchmark::State& state) {
    twinfold::PCMBuffer buffer(2, kChunk);
    for (auto _ : state) {
        auto reader = twinfold::openAudioFile(wavPath);
        std::int64_t total = 0;
        do {
            reader->read(buffer, kChunk);
            total += buffer.frameLength();
            benchmark::DoNotOptimize(buffer.channel(1)[0]);
        } while (buffer.frameLength() > 0);
        if (total != std::int64_t(kFrames)) state.SkipWithError("wrong number of frames");
    }
}

void readerInt(benchmark::State& state) {
    twinfold::IntPCMBuffer buffer(2, kChunk);
    for (auto _ : state) {
        auto reader = twinfold::openAudioFile(wavPath);
        do {
            reader->readInt(buffer, kChunk);
            benchmark::DoNotOptimize(buffer.channel(1)[0]);
        } while (buffer.frameLength() > 0);
    }
}

void sndfileReadfFloat(benchmark::State& state) {
    std::vector<float> interleaved(2 * std::size_t(kChunk));
    for (auto _ : state) {
        SF_INFO info{};
        SNDFILE* file = sf_open(wavPath.c_str(), SFM_READ, &info);
        while (sf_readf_float(file, interleaved.data(), kChunk) > 0) benchmark::DoNotOptimize(interleaved.data());
        sf_close(file);
    }
}

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            // With --benchmark_repetitions, the median stands for the run.
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
            const std::string name = run.benchmark_name();
            seconds[name.substr(0, name.find('/'))] = run.GetAdjustedRealTime();
            cpuSeconds[name.substr(0, name.find('/'))] = run.GetAdjustedCPUTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
    std::map<std::string, double> cpuSeconds;  // steadier when other work shares the machine
};

}  // namespace

BENCHMARK(plainRead)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(readerFloat)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(readerInt)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(sndfileReadfFloat)->Unit(benchmark::kMillisecond)->MinTime(2.0);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::string pattern = (fs::temp_directory_path() / "twinfold-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    wavPath = makeWav(pattern);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    fs::remove_all(pattern);
    const auto& s = reporter.seconds;
    if (s.count("plainRead")) {
        for (const char* name : {"readerFloat", "readerInt", "sndfileReadfFloat"})
            if (s.count(name))
                std::printf("%s / plain read: %.2f (CPU time %.2f)\n", name, s.at(name) / s.at("plainRead"),
                            reporter.cpuSeconds.at(name) / reporter.cpuSeconds.at("plainRead"));
        std::printf("(target for openAudioFile reads: <= 4)\n");
    }
    benchmark::Shutdown();
    return 0;
}
