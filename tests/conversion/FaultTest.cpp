#include "conversion/ConverterFixture.h"

#include "audio_io/AudioIOError.h"

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace twinfold::test {
namespace {

namespace fs = std::filesystem;
using Case = ConversionError::Case;
using FaultTest = ConverterFixture;

TEST_F(FaultTest, OutputFolderThatCannotExistOrMissingSource) {
    // Running as root, permissions do not stop a write; a parent that is a
    // regular file does.
    const fs::path source = stereoSource("Song.wav", 100);
    std::ofstream(dir / "blocker") << "a file, not a folder";
    EXPECT_EQ(failureOf([&] { converter.convertToMono(source, dir / "blocker" / "out.wav", ChannelSelection::left); }),
              Case::cannotCreateOutput);
    EXPECT_EQ(failureOf([&] { converter.removeRedundantChannels(source, dir / "blocker" / "out.wav", {1}); }),
              Case::cannotCreateOutput);
    EXPECT_THROW(converter.convertToMono(dir / "gone.wav", dir / "out.wav", ChannelSelection::left), AudioIOError);
    EXPECT_EQ(folderListing(dir.path()), (std::vector<std::string>{"Song.wav", "blocker"}));
}

enum Outcome { succeeded = 10, systemsError, fileTooLarge, other };

// How the operation ends in a child process whose files may not grow past
// 1 MB: a write past that fails with EFBIG, as on a full disk.
template <typename Operation>
int outcomeOnAFullDisk(Operation operation) {
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit rl{1 << 20, 1 << 20};
        setrlimit(RLIMIT_FSIZE, &rl);
        try {
            operation();
            _exit(succeeded);
        } catch (const AudioIOError& error) {
            _exit(*error.what() ? systemsError : other);
        } catch (const fs::filesystem_error& error) {
            _exit(error.code() == std::errc::file_too_large ? fileTooLarge : other);
        } catch (...) {
            _exit(other);
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(FaultTest, FullDiskIsTheSystemsError) {
    const fs::path source = stereoSource("Long.wav", 1'500'000);  // 6 MB in, 3 MB out
    EXPECT_EQ(outcomeOnAFullDisk([&] { converter.convertToMono(source, dir / "out.wav", ChannelSelection::left); }),
              systemsError);
    // What was written stays, as for any write failure; it is never passed off as complete.
    EXPECT_LT(pcmFileInfo(dir / "out.wav").frames, 1'500'000);

    // A split pair's side is copied as bytes, outside the audio writer.
    ScanResultFields pair;
    pair.fileInfo.url = source;
    pair.fileInfo.filename = "Take.wav";
    pair.pairedFileURL = stereoSource("Take.R.wav", 1'500'000);
    EXPECT_EQ(outcomeOnAFullDisk([&] { converter.convertSplitPairToMono(ScanResult(pair), {}, AppSettings{}); }),
              fileTooLarge);
}

// However the real reader meets the end, a short source must not give a
// complete-looking output.
TEST_F(FaultTest, SourceCutShortMidConversion) {
    const fs::path source = stereoSource("Long.wav", 2'500'000);
    auto truncate = [&](double) { fs::resize_file(source, 1000); };
    try {
        converter.convertToMono(source, dir / "out.wav", ChannelSelection::left, std::nullopt, truncate);
        FAIL() << "no error";
    } catch (const ConversionError& error) {
        EXPECT_EQ(error.errorCase(), Case::readError);
    } catch (const AudioIOError& error) {
        EXPECT_STRNE(error.what(), "");
    }
}

}  // namespace
}  // namespace twinfold::test
