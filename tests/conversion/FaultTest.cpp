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

TEST_F(FaultTest, OutputFolderThatCannotExist) {
    // Running as root, permissions do not stop a write; a parent that is a
    // regular file does.
    const fs::path source = stereoSource("Song.wav", 100);
    std::ofstream(dir / "blocker") << "a file, not a folder";
    EXPECT_EQ(failureOf([&] { converter.convertToMono(source, dir / "blocker" / "out.wav", ChannelSelection::left); }),
              Case::cannotCreateOutput);
    EXPECT_EQ(failureOf([&] { converter.removeRedundantChannels(source, dir / "blocker" / "out.wav", {1}); }),
              Case::cannotCreateOutput);
    EXPECT_EQ(folderListing(dir.path()), (std::vector<std::string>{"Song.wav", "blocker"}));
}

// How the operation ends in a child process whose files may not grow past
// 1 MB: "succeeded", or the kind and text of what it threw.
template <typename Operation>
std::string outcomeOnAFullDisk(Operation operation) {
    int channel[2];
    if (pipe(channel) != 0) return "pipe failed";
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
        const rlimit rl{1 << 20, 1 << 20};
        setrlimit(RLIMIT_FSIZE, &rl);
        std::string message = "succeeded";
        try {
            operation();
        } catch (const AudioIOError& error) {
            message = std::string("io: ") + error.what();
        } catch (const fs::filesystem_error& error) {
            message = "fs: " + error.code().message();
        } catch (const std::exception& error) {
            message = std::string("other: ") + error.what();
        }
        [[maybe_unused]] auto written = write(channel[1], message.data(), message.size());
        _exit(0);
    }
    close(channel[1]);
    std::string message;
    char buffer[256];
    for (ssize_t n; (n = read(channel[0], buffer, sizeof buffer)) > 0;) message.append(buffer, std::size_t(n));
    close(channel[0]);
    waitpid(child, nullptr, 0);
    return message;
}

TEST_F(FaultTest, FullDiskIsTheSystemsError) {
    const fs::path source = stereoSource("Long.wav", 1'500'000);  // 6 MB in, 3 MB out
    const std::string outcome =
        outcomeOnAFullDisk([&] { converter.convertToMono(source, dir / "out.wav", ChannelSelection::left); });
    EXPECT_EQ(outcome.rfind("io: ", 0), 0u) << outcome;
    EXPECT_GT(outcome.size(), 4u);
    // What was written stays, as for any write failure; it is never passed off as complete.
    EXPECT_LT(pcmFileInfo(dir / "out.wav").frames, 1'500'000);

    // A split pair's side is copied as bytes, outside the audio writer.
    ScanResultFields pair;
    pair.fileInfo.url = source;
    pair.fileInfo.filename = "Take.wav";
    pair.pairedFileURL = stereoSource("Take.R.wav", 1'500'000);
    EXPECT_EQ(outcomeOnAFullDisk([&] { converter.convertSplitPairToMono(ScanResult(pair), {}, AppSettings{}); }),
              "fs: File too large");
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

TEST_F(FaultTest, MissingSourceIsTheReadersError) {
    EXPECT_THROW(converter.convertToMono(dir / "gone.wav", dir / "out.wav", ChannelSelection::left), AudioIOError);
    EXPECT_TRUE(folderListing(dir.path()).empty());
}

}  // namespace
}  // namespace twinfold::test
