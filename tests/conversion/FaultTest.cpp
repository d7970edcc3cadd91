#include "conversion/ConverterFixture.h"

#include <iterator>

namespace twinfold::test {
namespace {

using FaultTest = ConverterFixture;

TEST_F(FaultTest, OutputFolderThatCannotExistOrMissingSource) {
    // Running as root, permissions do not stop a write; a parent that is a
    // regular file does, and so does a name longer than the file system takes.
    const fs::path source = stereoSource("Song.wav", 100);
    std::ofstream(dir / "blocker") << "a file, not a folder";
    const std::string longName = std::string(300, 'K') + "_mono.wav";
    const std::pair<fs::path, std::string> rows[] = {
        {dir / "blocker" / "out.wav", "Cannot create output file out.wav: Not a directory"},
        {dir / longName, "Cannot create output file " + longName + ": File name too long"},
    };
    for (const auto& [output, message] : rows) {
        EXPECT_EQ(
            thrownMessage<ConversionError>([&] { converter.convertToMono(source, output, ChannelSelection::left); }),
            message);
        EXPECT_EQ(failureOf([&] { converter.removeRedundantChannels(source, output, {1}); }), Case::cannotCreateOutput);
    }
    EXPECT_THROW(converter.convertToMono(dir / "gone.wav", dir / "out.wav", ChannelSelection::left), AudioIOError);
    EXPECT_EQ(folderListing(dir.path()), (std::vector<std::string>{"Song.wav", "blocker"}));
}

// A write that fails part way leaves nothing: no file under the output's
// name (whose header would look complete) and no temporary.
TEST_F(FaultTest, AFailedWriteLeavesNoFileBehind) {
    const fs::path source = stereoSource("Long.wav", 1'500'000);  // 6 MB in, 3 MB out
    // A split pair's side is copied as bytes, outside the audio writer.
    const ScanResultFields pair{.fileInfo = {.path = source, .filename = "Take.wav"},
                                .pairedFilePath = stereoSource("Take.R.wav", 1'500'000)};
    writePcm(dir / "Wide.wav", {}, Channels(64, dc(1000, 0.25, PcmEncoding::int16)));
    const std::vector<std::string> sources{"Long.wav", "Take.R.wav", "Wide.wav"};

    struct Row {
        const char* name;
        int resource;
        rlim_t limit;
        std::function<void()> operation;
        Outcome expected;
    };
    const std::vector<Row> rows{
        {"full disk, mono", RLIMIT_FSIZE, 1 << 20,
         [&] { converter.convertToMono(source, dir / "out.wav", ChannelSelection::left); }, systemsError},
        {"full disk, two files", RLIMIT_FSIZE, 1 << 20,
         [&] { converter.splitToTwoMono(source, dir / "L.wav", dir / "R.wav"); }, systemsError},
        {"full disk, pair copy", RLIMIT_FSIZE, 1 << 20,
         [&] { converter.convertSplitPairToMono(ScanResult(pair), {}, AppSettings{}); }, fileTooLarge},
        {"descriptors run out, channel split", RLIMIT_NOFILE, 32,
         [&] { converter.splitAllChannels(dir / "Wide.wav", std::nullopt, AppSettings{}); }, systemsError},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(outcomeUnder(row.resource, row.limit, row.operation), row.expected) << row.name;
        EXPECT_EQ(folderListing(dir.path()), sources) << row.name;
    }
}

// A name taken while the output was being written is never replaced, and
// the operation's other outputs go too: they appear together or not at all.
TEST_F(FaultTest, ANameTakenDuringTheWriteIsKeptAndNothingElseStays) {
    const fs::path source = stereoSource("Song.wav", 2'500'000);
    struct Row {
        const char* taken;
        std::function<void(const ProgressHandler&)> operation;
    };
    const std::vector<Row> rows{
        {"out.wav", [&](auto& p) { converter.convertToMono(source, dir / "out.wav", ChannelSelection::left, {}, p); }},
        {"R.wav", [&](auto& p) { converter.splitToTwoMono(source, dir / "L.wav", dir / "R.wav", {}, p); }},
        {"Song_mono_ch2_R.wav", [&](auto& p) { converter.splitAllChannels(source, std::nullopt, AppSettings{}, p); }},
    };
    for (const Row& row : rows) {
        auto intruder = [&, first = true](double) mutable {
            if (std::exchange(first, false)) std::ofstream(dir / row.taken) << "someone else's";
        };
        EXPECT_EQ(failureOf([&] { row.operation(intruder); }), Case::fileExists) << row.taken;
        std::vector<std::string> expected{"Song.wav", row.taken};
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(folderListing(dir.path()), expected) << row.taken;
        std::ifstream in(dir / row.taken);
        EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(in), {}) == "someone else's") << row.taken;
        fs::remove(dir / row.taken);
    }
}

}  // namespace
}  // namespace twinfold::test
