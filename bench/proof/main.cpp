// The proof before originals are touched, against the read-back it grew
// from, on a generated 10-minute 24-bit 48 kHz stereo WAV (173 MB) of each
// kind whose second channel a conversion drops: dual mono (re-proven
// identical), panned (re-proven correlated, the costliest rule) and
// phase-inverted. The read-back alone compares the output with the kept
// channel; the proof does that and re-proves the dropped channel, checks
// the source's identity and every channel's fate in the same single read.
// Sources stay in the page cache.
#include "audio_io/AudioFileReader.h"
#include "audio_io/FileIdentityOf.h"
#include "conversion/AudioConverterService.h"
#include "support/PcmFixtures.h"
#include "jobs/OutputVerifier.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

namespace fs = std::filesystem;
using namespace twinfold;

namespace {

constexpr std::uint32_t kChunk = 1'000'000;
constexpr std::size_t kFrames = 48'000 * 600;

struct Kind {
    test::StereoKind kind;
    Redundancy reason;
};
const std::map<std::string, Kind> kKinds{
    {"dualMono", {test::StereoKind::dualMono, Redundancy::identicalTo}},
    {"panned", {test::StereoKind::panned, Redundancy::scaledCopyOf}},
    {"phaseInverted", {test::StereoKind::phaseInverted, Redundancy::invertedCopyOf}}};

fs::path workDir;
std::map<std::string, SourceProof> proofs;

// The source and its converted mono output, with the proof that drops channel 2.
void prepare(const std::string& name, const Kind& kind) {
    const fs::path source = workDir / (name + ".wav"), output = workDir / (name + "_mono.wav");
    const test::PcmFormat format{test::PcmContainer::wav, test::PcmEncoding::int24, 48000};
    test::PcmFileWriter writer(source, format, 2);
    for (std::size_t done = 0; done < kFrames; done += kChunk) {
        const std::size_t n = std::min<std::size_t>(kChunk, kFrames - done);
        writer.append(test::stereo(kind.kind, n, format.encoding, std::uint32_t(done / kChunk + 1)));
    }
    writer.close();
    AudioConverterService().convertToMono(source, output, ChannelSelection::left);
    proofs[name] = {{{source, currentFileIdentity(source)}}, {{output, {0}, {}}}, {{1, kind.reason, 0}}};
}

void readBack(benchmark::State& state, const std::string& name) {
    const SourceProof& proof = proofs.at(name);
    const std::vector<OutputProvenance> outputs{{proof.outputs[0].path, proof.files[0].path, {0}, {}}};
    const std::atomic<bool> notCancelled{false};
    for (auto _ : state) {
        if (!OutputVerifier::verify(outputs, notCancelled)) state.SkipWithError("read-back failed");
    }
}

void proof(benchmark::State& state, const std::string& name) {
    const std::atomic<bool> notCancelled{false};
    for (auto _ : state) {
        if (!OutputVerifier::prove({proofs.at(name)}, notCancelled)) state.SkipWithError("proof failed");
    }
}

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            std::string name = run.benchmark_name();
            seconds[name.substr(0, name.find("/min_time"))] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
};

// Peak memory of splitting or reducing a wide file and proving the result,
// in a fresh process limited to 64 descriptors: prints the megabytes, or -1
// when the operation failed.
int wideProbe(const std::string& operation, const fs::path& source) {
    const rlimit limit{64, 64};
    setrlimit(RLIMIT_NOFILE, &limit);
    try {
        AudioConverterService converter;
        const int channels = openAudioFile(source)->channelCount();
        SourceProof proof{{{source, currentFileIdentity(source)}}};
        if (operation == "split") {
            std::vector<int> all;
            std::vector<fs::path> paths;
            for (int c = 0; c < channels; ++c) {
                all.push_back(c);
                paths.push_back(source.parent_path() / ("split-" + std::to_string(c) + ".wav"));
                proof.outputs.push_back({paths.back(), {c}, {}});
            }
            converter.splitChannels(source, all, paths);
        } else {
            std::vector<int> keep;
            for (int c = 1; c < channels; ++c) keep.push_back(c);
            proof.outputs.push_back({source.parent_path() / "reduced.wav", keep, {}});
            proof.dropped.push_back({0, Redundancy::silent});
            converter.removeRedundantChannels(source, proof.outputs[0].path, keep);
        }
        const std::atomic<bool> notCancelled{false};
        if (!OutputVerifier::prove({proof}, notCancelled)) return 1;
        for (const auto& output : proof.outputs) fs::remove(output.path);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        std::printf("-1\n");
        return 1;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%.1f\n", double(usage.ru_maxrss) / 1024);
    return 0;
}

double runWideProbe(const std::string& operation, const fs::path& source) {
    const std::string command =
        fs::read_symlink("/proc/self/exe").string() + " --wide " + operation + " \"" + source.string() + "\"";
    FILE* pipe = popen(command.c_str(), "r");
    double megabytes = -1;
    if (pipe && std::fscanf(pipe, "%lf", &megabytes) != 1) megabytes = -1;
    if (pipe) pclose(pipe);
    return megabytes;
}

// Files of 2 to 1,024 channels (channel 0 silent), 100,000 frames of 16-bit noise.
void reportWideFiles() {
    std::printf("peak memory (MB, target < 100) under 64 descriptors, split / reduce + proof:\n");
    for (int channels : {2, 64, 256, 1024}) {
        const fs::path source = workDir / ("wide-" + std::to_string(channels) + ".wav");
        const test::PcmFormat format{test::PcmContainer::wav, test::PcmEncoding::int16, 48000};
        test::PcmFileWriter writer(source, format, channels);
        for (int block = 0; block < 4; ++block) {
            writer.append(test::multichannel({channels, {}, {0}}, 25'000, format.encoding, std::uint32_t(block + 1)));
        }
        writer.close();
        std::printf("  %4d channels: split %6.1f   reduce %6.1f\n", channels, runWideProbe("split", source),
                    runWideProbe("reduce", source));
        fs::remove(source);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--wide") return wideProbe(argv[2], argv[3]);
    benchmark::Initialize(&argc, argv);
    std::string pattern = (fs::temp_directory_path() / "twinfold-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return 1;
    workDir = pattern;
    for (const auto& [name, kind] : kKinds) {
        prepare(name, kind);
        benchmark::RegisterBenchmark(("readBack/" + name).c_str(), readBack, name)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(2.0)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("proof/" + name).c_str(), proof, name)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(2.0)
            ->UseRealTime();
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reportWideFiles();
    fs::remove_all(workDir);
    for (const auto& [name, kind] : kKinds) {
        const auto proofTime = reporter.seconds.find("proof/" + name);
        const auto readBackTime = reporter.seconds.find("readBack/" + name);
        if (proofTime == reporter.seconds.end() || readBackTime == reporter.seconds.end()) continue;
        std::printf("proof / read-back, %-13s %5.2f  (target <= 1.3)\n", name.c_str(),
                    proofTime->second / readBackTime->second);
    }
    benchmark::Shutdown();
    return 0;
}
