#pragma once

// Sources are written and outputs read straight through libsndfile (the
// support fixtures), so the converter's results are checked by a reader that
// is not our own.

#include "audio_io/AudioIOError.h"
#include "conversion/AudioConverterService.h"
#include "support/ChunkFixtures.h"
#include "support/FileTree.h"
#include "support/PcmFixtures.h"
#include "support/TempDir.h"
#include "support/Thrown.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <fstream>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace twinfold::test {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Case = ConversionError::Case;

// The case of the ConversionError the operation throws (a test failure when none).
template <typename Operation>
Case failureOf(Operation&& operation) {
    const auto error = thrown<ConversionError>(operation);
    return error ? error->errorCase() : Case::cancelled;
}

// Random samples over the whole range of `encoding`, both extremes included.
inline Signal fullRange(std::size_t frames, PcmEncoding encoding, std::uint32_t seed) {
    Signal samples = noise(frames, encoding, seed, 1.0);
    samples[0] = -1.0;
    samples[1] = quantize(1.0, encoding);
    return samples;
}

// libsndfile's format of a file, with WAVE_FORMAT_EXTENSIBLE counted as plain
// WAV: both are WAV files to every reader.
inline int soundFormat(const std::filesystem::path& path) {
    const int format = pcmFileInfo(path).format;
    const bool extensible = (format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAVEX;
    return extensible ? (format & ~SF_FORMAT_TYPEMASK) | SF_FORMAT_WAV : format;
}

// A converter and a scratch folder.
class ConverterFixture : public ::testing::Test {
protected:
    TempDir dir;
    AudioConverterService converter;

    // A stereo 16-bit WAV of random samples, different on each side.
    std::filesystem::path stereoSource(const std::string& name, std::size_t frames, std::uint32_t seed = 1) {
        const auto encoding = PcmEncoding::int16;
        writePcm(dir / name, {}, {fullRange(frames, encoding, seed), fullRange(frames, encoding, seed + 1)});
        return dir / name;
    }
};

// Equal samples, reporting only the first difference of a long run.
inline void expectSameSamples(const std::vector<std::int32_t>& actual, const std::vector<std::int32_t>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    const auto [a, e] = std::mismatch(actual.begin(), actual.end(), expected.begin());
    EXPECT_TRUE(a == actual.end()) << "first difference at frame " << (a - actual.begin()) << ": " << *a
                                   << " instead of " << *e;
}

enum Outcome { succeeded = 10, systemsError, fileTooLarge, other };

// How the operation ends in a child process under `limit`: RLIMIT_FSIZE
// makes a write past it fail with EFBIG, as on a full disk; RLIMIT_NOFILE
// runs out of descriptors. A systems error counts only with a message that
// holds every one of `named`.
template <typename Operation>
int outcomeUnder(int resource, rlim_t limit, Operation operation, const std::vector<std::string>& named = {}) {
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit rl{limit, limit};
        setrlimit(resource, &rl);
        try {
            operation();
            _exit(succeeded);
        } catch (const AudioIOError& error) {
            const std::string message = error.what();
            const auto inMessage = [&](const std::string& name) { return message.find(name) != std::string::npos; };
            _exit(!message.empty() && std::ranges::all_of(named, inMessage) ? systemsError : other);
        } catch (const std::filesystem::filesystem_error& error) {
            _exit(error.code() == std::errc::file_too_large ? fileTooLarge : other);
        } catch (...) {
            _exit(other);
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace twinfold::test
