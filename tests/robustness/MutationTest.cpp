// Damaged copies of valid files, run through the scan and the conversion as
// the application runs them: nothing may crash or hang, the damaged file is
// never changed, and every output is either absent or whole.
//
// TWINFOLD_MUTATION_SEED picks other mutants (the seed is printed with every
// failure); TWINFOLD_MUTATION_COUNT sets how many are made of each file.

#include "Mutator.h"
#include "ValidCorpus.h"
#include "analysis/AudioAnalyzerService.h"
#include "audio_io/AudioFileReader.h"
#include "conversion/AudioConverterService.h"
#include "support/ChunkFixtures.h"
#include "support/PcmFixtures.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <tuple>

#include <unistd.h>

namespace twinfold {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

constexpr std::uint64_t kDefaultSeed = 20261207;
constexpr int kDefaultMutantsPerFile = 300;
constexpr auto kTimeLimit = std::chrono::seconds(10);

std::uint64_t envNumber(const char* name, std::uint64_t fallback) {
    const char* text = std::getenv(name);
    return text && *text ? std::strtoull(text, nullptr, 0) : fallback;
}

// Ends the process, naming the input, when one input takes longer than the
// limit: a hung decoder cannot be stopped from outside, and the test must
// not wait forever. The handler may only call what is safe in a signal.
char hungInput[1024];
void onAlarm(int) {
    const char prefix[] = "HANG: this took more than the limit: ";
    if (::write(STDERR_FILENO, prefix, sizeof prefix - 1) > 0)
        (void)!::write(STDERR_FILENO, hungInput, std::strlen(hungInput));
    ::_exit(1);
}

void armWatchdog(const std::string& what) {
    std::snprintf(hungInput, sizeof hungInput, "%s\n", what.c_str());
    ::alarm(unsigned(kTimeLimit.count()));
}

// Errors a damaged file may rightly end in; these others are faults.
template <typename Work>
void expectCleanRefusal(const std::string& what, const Work& work) {
    try {
        work();
    } catch (const std::bad_alloc&) {
        ADD_FAILURE() << what << ": ran out of memory";
    } catch (const std::logic_error& error) {
        ADD_FAILURE() << what << ": " << error.what();
    } catch (const std::exception&) {}
}

class MutationTest : public ::testing::Test {
protected:
    void runMutant(const fs::path& path, const Bytes& bytes, const std::string& what);

    int scanned_ = 0, converted_ = 0;
    AudioAnalyzerService analyzer_{1.5848932e-5f};
    AudioConverterService converter_;
    AppSettings settings_{.originalFileHandling = OriginalFileHandling::leaveInPlace};
};

void MutationTest::runMutant(const fs::path& path, const Bytes& bytes, const std::string& what) {
    std::optional<ScanResult> result;
    expectCleanRefusal(what + " (scan)", [&] { result = analyzer_.analyzeFile(path); });
    // What the source's reader promised: each output holds its length at its rate.
    std::int64_t frames = -1;
    int rate = 0;
    std::vector<fs::path> outputs;
    if (result && !result->unreadableReason) {
        ++scanned_;
        expectCleanRefusal(what + " (open)", [&] {
            const auto reader = openAudioFile(path);
            frames = reader->length();
            rate = int(std::lround(reader->sampleRate()));
        });
        expectCleanRefusal(what + " (convert)", [&] { outputs = converter_.convertFiles({*result}, settings_); });
    }
    converted_ += outputs.empty() ? 0 : 1;
    EXPECT_EQ(test::fileBytes(path), bytes) << what << ": the source changed";
    for (const auto& entry : fs::directory_iterator(path.parent_path())) {
        if (entry.path() == path) continue;
        if (std::find(outputs.begin(), outputs.end(), entry.path()) == outputs.end()) {
            ADD_FAILURE() << what << ": left " << entry.path().filename() << " behind";
        } else {
            try {
                const test::PcmFileInfo info = test::pcmFileInfo(entry.path());
                EXPECT_EQ(std::tuple(info.frames, info.sampleRate, info.channels), std::tuple(frames, rate, 1)) << what;
                // No real recording runs outside these; a rate outside them was read from damage.
                EXPECT_TRUE(rate >= 1 && rate <= 1'536'000) << what << ": rate " << rate;
                test::readFloats(entry.path());  // throws unless every frame is present
            } catch (const std::exception& error) {
                ADD_FAILURE() << what << ": output " << entry.path() << " unreadable: " << error.what();
            }
        }
        fs::remove(entry.path());
    }
}

TEST_F(MutationTest, DamagedFilesAreRefusedOrConvertedWhole) {
    const std::uint64_t seed = envNumber("TWINFOLD_MUTATION_SEED", kDefaultSeed);
    const auto count = int(envNumber("TWINFOLD_MUTATION_COUNT", kDefaultMutantsPerFile));
    SCOPED_TRACE("TWINFOLD_MUTATION_SEED=" + std::to_string(seed));
    test::TempDir dir;
    fs::create_directory(dir / "valid");
    fs::create_directory(dir / "work");
    std::signal(SIGALRM, onAlarm);
    int mutants = 0;
    for (const fs::path& valid : test::writeValidCorpus(dir / "valid", 600)) {
        const Bytes original = test::fileBytes(valid);
        const test::FileStructure structure = test::findStructure(original);
        // Each file's mutants depend on the seed and its name only.
        std::mt19937_64 random(seed ^ std::hash<std::string>{}(valid.filename().string()));
        const fs::path path = dir / "work" / valid.filename();
        for (int i = 0; i < count; ++i) {
            const test::Mutant mutant = test::mutate(original, structure, random);
            const std::string what = valid.filename().string() + " mutant " + std::to_string(i) + " (" +
                                     mutant.description + ", seed " + std::to_string(seed) + ")";
            test::overwriteFileBytes(path, mutant.bytes);
            armWatchdog(what);
            ++mutants;
            runMutant(path, mutant.bytes, what);
            ::alarm(0);
            if (HasFailure()) return;  // the first damaged file that fails is the one to look at
        }
        fs::remove(path);
    }
    // Damage that every reader refuses or none notices would test nothing.
    std::printf("%d damaged files scanned, %d of them converted\n", scanned_, converted_);
    EXPECT_GT(scanned_, 0);
    EXPECT_GT(converted_, 0);
    EXPECT_LT(scanned_, mutants);
}

}  // namespace
}  // namespace twinfold
