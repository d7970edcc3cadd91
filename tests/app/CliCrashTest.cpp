// twinfold-cli convert killed with SIGKILL at random moments: whatever the
// moment, no output is left cut short under its final name and no original
// is lost or changed. TWINFOLD_CRASH_RUNS and TWINFOLD_CRASH_SEED set the
// number of runs and the seed (scripts/crash-test runs many more).
#include "CliRunner.h"
#include "support/ChunkFixtures.h"
#include "support/SndfileChunks.h"

#include <sys/mount.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
#include <random>
#include <thread>

namespace twinfold::test {
namespace {

// One output, where its samples come from (channel 0 of `keptFrom`) and a
// metadata chunk it must carry over.
struct ExpectedOutput {
    std::string output;
    std::string keptFrom;
    std::vector<std::string> originals;
    std::string chunk;
};

const std::vector<ExpectedOutput> kExpected{
    {"Dual A_mono.wav", "Dual A.wav", {"Dual A.wav"}, "bext"},
    {"Dual B_mono.wav", "Dual B.wav", {"Dual B.wav"}, "iXML"},
    {"Pair_mono.wav", "Pair.L.wav", {"Pair.L.wav", "Pair.R.wav"}, ""},
};

std::vector<std::int32_t> dualMonoSamples(std::size_t frames, int bits, std::uint32_t seed) {
    std::mt19937 engine(seed);
    std::uniform_int_distribution<std::int32_t> sample(-(1 << (bits - 1)), (1 << (bits - 1)) - 1);
    std::vector<std::int32_t> interleaved;
    for (std::size_t i = 0; i < frames; ++i) interleaved.insert(interleaved.end(), 2, sample(engine));
    return interleaved;
}

// Small dual-mono files with metadata chunks and a split pair, a second or two each.
void writeSources(const fs::path& dir) {
    writeChunkFixture(dir / "Dual A.wav",
                      {.samples = dualMonoSamples(96000, 16, 1),
                       .before = {bextChunk("Scene 4 take 2"), listInfoChunk({{"INAM", "Dual A"}})}});
    writeChunkFixture(dir / "Dual B.wav",
                      {.bitsPerSample = 24, .samples = dualMonoSamples(96000, 24, 2), .after = {ixmlChunk()}});
    const Signal side = noise(96000, PcmEncoding::int16, 3);
    writeSplitPair(dir, "Pair", ".wav", {}, side, side);
}

// Empty when `output` holds all of channel 0 of `source` and its chunk, else what is wrong.
std::string incompleteness(const fs::path& output, const fs::path& source, const std::string& chunk) {
    try {
        const PcmFileInfo out = pcmFileInfo(output), in = pcmFileInfo(source);
        if (out.channels != 1 || out.frames != in.frames) return "has " + std::to_string(out.frames) + " frames";
        if (readStoredInts(output)[0] != readStoredInts(source)[0]) return "has other samples";
        if (!chunk.empty() && sndfileChunks(output, chunk) != sndfileChunks(source, chunk)) return "lacks its " + chunk;
        return {};
    } catch (const std::exception& error) {
        return std::string("cannot be read: ") + error.what();
    }
}

// What is wrong with `dir` after a run, compared with the untouched sources
// in `reference`; empty when nothing is.
std::vector<std::string> problemsIn(const fs::path& dir, const fs::path& reference) {
    std::vector<std::string> problems;
    auto complain = [&](const std::string& name, const std::string& what) { problems.push_back(name + " " + what); };
    std::set<std::string> backedUp, present;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_directory() && name.starts_with("Twinfold Backup ")) {
            for (const auto& moved : fs::directory_iterator(entry.path())) {
                const std::string original = moved.path().filename().string();
                // The record of the backup (named only once written whole), and
                // hidden temporaries a kill left behind.
                if (original == "twinfold-manifest.jsonl" || original.starts_with(".")) continue;
                if (!fs::exists(reference / original) || fileText(moved.path()) != fileText(reference / original))
                    complain("backup/" + original, "is not a byte-identical original");
                backedUp.insert(original);
            }
        } else if (name.starts_with(".")) {
            continue;  // a temporary SIGKILL left; hidden, so never scanned
        } else if (fs::exists(reference / name)) {
            if (fileText(entry.path()) != fileText(reference / name)) complain(name, "was changed");
            present.insert(name);
        } else {
            const auto expected = std::find_if(kExpected.begin(), kExpected.end(),
                                               [&](const ExpectedOutput& e) { return e.output == name; });
            if (expected == kExpected.end()) {
                complain(name, "is not an expected file");
            } else if (const std::string what =
                           incompleteness(entry.path(), reference / expected->keptFrom, expected->chunk);
                       !what.empty()) {
                complain(name, what);
            }
            present.insert(name);
        }
    }
    for (const ExpectedOutput& e : kExpected) {
        for (const std::string& original : e.originals) {
            // A deleted original is only allowed once its output is there, complete.
            if (!present.count(original) && !backedUp.count(original) && !present.count(e.output))
                complain(original, "is gone without its output");
        }
    }
    return problems;
}

int environmentNumber(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value && *value ? std::atoi(value) : fallback;
}

// Where the conversions run: the disk the tests use, or a tmpfs mounted for
// the test (a file system with other timing and no hard-link quirks shared
// with the first), where the machine allows it.
enum class FileSystem { testDisk, tmpfs };

void PrintTo(FileSystem f, std::ostream* out) { *out << (f == FileSystem::tmpfs ? "tmpfs" : "test disk"); }

class CliCrash : public testing::TestWithParam<FileSystem> {
protected:
    void SetUp() override {
        writeSources(reference.path());
        base_ = work.path();
        if (GetParam() != FileSystem::tmpfs) return;
        base_ = work / "tmpfs";
        fs::create_directory(base_);
        if (::mount("tmpfs", base_.c_str(), "tmpfs", 0, "size=256m") != 0)
            GTEST_SKIP() << "cannot mount a tmpfs here (" << std::strerror(errno) << "); it needs root";
        mounted_ = true;
    }
    void TearDown() override {
        if (mounted_) ::umount2(base_.c_str(), MNT_DETACH);
    }

    // A fresh copy of the sources to convert.
    fs::path freshFolder(int run) {
        const fs::path dir = base_ / numbered("run", run);
        fs::copy(reference.path(), dir);
        return dir;
    }

    Cli cli;
    TempDir reference, work;

private:
    fs::path base_;
    bool mounted_ = false;
};

// The kill falls anywhere in the conversion and the handling of the
// originals that follows the plan.
TEST_P(CliCrash, AKillAtAnyMomentLeavesOnlyWholeOutputsAndEveryOriginal) {
    // How long the conversion takes here, and that a whole run ends as it should.
    const fs::path whole = freshFolder(0);
    const auto process = cli.startConverting({"convert", "--yes", "--originals", "delete", whole.string()});
    ASSERT_TRUE(process);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(process->waitForFinished(60000));
    const auto duration =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    ASSERT_EQ(process->exitCode(), 0) << process->readAllStandardError().toStdString();
    EXPECT_EQ(problemsIn(whole, reference.path()), std::vector<std::string>{});
    for (const ExpectedOutput& e : kExpected) EXPECT_TRUE(fs::exists(whole / e.output)) << e.output;

    const int runs = environmentNumber("TWINFOLD_CRASH_RUNS", 16);
    const auto seed = std::uint32_t(environmentNumber("TWINFOLD_CRASH_SEED", 20261206));
    std::mt19937 engine(seed);
    std::uniform_int_distribution<std::int64_t> moment(0, duration.count() * 11 / 10);
    int failed = 0;
    for (int run = 1; run <= runs; ++run) {
        const std::string originals = run % 2 ? "delete" : "backup";
        const std::chrono::microseconds delay(moment(engine));
        const fs::path dir = freshFolder(run);
        if (const auto converting = cli.startConverting({"convert", "--yes", "--originals", originals, dir.string()})) {
            std::this_thread::sleep_for(delay);
            ::kill(pid_t(converting->processId()), SIGKILL);
            converting->waitForFinished(60000);
        }
        const auto problems = problemsIn(dir, reference.path());
        EXPECT_EQ(problems, std::vector<std::string>{})
            << "run " << run << " (--originals " << originals << ", killed after " << delay.count() << " µs)";
        failed += !problems.empty();
        fs::remove_all(dir);
    }
    std::cout << runs - failed << " passed, " << failed << " failed (seed " << seed << ", converting takes "
              << duration.count() / 1000 << " ms)" << std::endl;
}

INSTANTIATE_TEST_SUITE_P(FileSystems, CliCrash, testing::Values(FileSystem::testDisk, FileSystem::tmpfs));

}  // namespace
}  // namespace twinfold::test
