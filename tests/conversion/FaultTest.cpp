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

TEST_F(ConverterFixture, OutputFolderThatCannotExist) {
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

// Runs `body` in a child process whose files may not grow past `limit`
// bytes; returns what the child wrote to its pipe.
template <typename Body>
std::string inSizeLimitedChild(rlim_t limit, Body body) {
    int channel[2];
    if (pipe(channel) != 0) return "pipe failed";
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
        const rlimit rl{limit, limit};
        setrlimit(RLIMIT_FSIZE, &rl);
        const std::string message = body();
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

TEST_F(ConverterFixture, FullDiskIsTheSystemsError) {
    const fs::path source = stereoSource("Long.wav", 1'500'000);  // 6 MB in, 3 MB out
    const std::string outcome = inSizeLimitedChild(1 << 20, [&]() -> std::string {
        try {
            converter.convertToMono(source, dir / "out.wav", ChannelSelection::left);
            return "succeeded";
        } catch (const AudioIOError& error) {
            return std::string("io: ") + error.what();
        } catch (const std::exception& error) {
            return std::string("other: ") + error.what();
        }
    });
    EXPECT_EQ(outcome.rfind("io: ", 0), 0u) << outcome;
    EXPECT_GT(outcome.size(), 4u);
    // What was written stays, as for any write failure; it is never passed off as complete.
    EXPECT_LT(readSound(dir / "out.wav").frames, 1'500'000);
}

TEST_F(ConverterFixture, FullDiskDuringAPairCopyIsTheSystemsError) {
    ScanResultFields pair;
    pair.fileInfo.url = stereoSource("Take.L.wav", 1'500'000);
    pair.fileInfo.filename = "Take.wav";
    pair.pairedFileURL = stereoSource("Take.R.wav", 1'500'000);
    const std::string outcome = inSizeLimitedChild(1 << 20, [&]() -> std::string {
        try {
            converter.convertSplitPairToMono(ScanResult(pair), std::nullopt, AppSettings{});
            return "succeeded";
        } catch (const fs::filesystem_error& error) {
            return std::string("fs: ") + error.code().message();
        } catch (const std::exception& error) {
            return std::string("other: ") + error.what();
        }
    });
    EXPECT_EQ(outcome, "fs: File too large");
}

TEST_F(ConverterFixture, SourceCutShortMidConversion) {
    const fs::path source = stereoSource("Long.wav", 2'500'000);
    auto truncate = [&](double) { fs::resize_file(source, 1000); };
    try {
        converter.convertToMono(source, dir / "out.wav", ChannelSelection::left, std::nullopt, truncate);
        FAIL() << "a short source must not give a complete-looking output";
    } catch (const ConversionError& error) {
        EXPECT_EQ(error.errorCase(), Case::readError);
    } catch (const AudioIOError& error) {
        EXPECT_STRNE(error.what(), "");
    }
}

TEST_F(ConverterFixture, SourceDeletedMidConversionStillGivesTheWholeChannel) {
    // The open file stays readable after its name is removed, so the output is complete.
    const fs::path source = stereoSource("Long.wav", 2'500'000);
    const auto expected = readSound(source).channel(1);
    auto remove = [&](double) { fs::remove(source); };
    converter.convertToMono(source, dir / "out.wav", ChannelSelection::right, std::nullopt, remove);
    EXPECT_TRUE(readSound(dir / "out.wav").samples == expected);
}

TEST_F(ConverterFixture, MissingSourceIsTheReadersError) {
    EXPECT_THROW(converter.convertToMono(dir / "gone.wav", dir / "out.wav", ChannelSelection::left), AudioIOError);
    EXPECT_TRUE(folderListing(dir.path()).empty());
}

}  // namespace
}  // namespace twinfold::test
