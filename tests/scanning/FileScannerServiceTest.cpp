#include "scanning/FileScannerService.h"

#include "support/TempDir.h"
#include "support/Thrown.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <set>

namespace twinfold::test {
namespace {

namespace fs = std::filesystem;
using Case = ScanError::Case;
using Names = std::vector<std::string>;
using Pairs = std::set<std::pair<std::string, std::string>>;  // the order of pairs is not part of the contract

class ScannerTest : public ::testing::Test {
protected:
    void touch(const std::string& relative) {
        const fs::path file = dir / relative;
        fs::create_directories(file.parent_path());
        std::ofstream(file).put('x');
    }
    // Listed files relative to the scanned folder.
    std::set<std::string> scan(const ScanProgress& progress = {}) {
        std::set<std::string> relative;
        for (const auto& file : scanner.scanDirectory(dir.path(), progress))
            relative.insert(file.lexically_relative(dir.path()).generic_string());
        return relative;
    }

    TempDir dir;
    FileScannerService scanner;
};

void expectScanError(const std::function<void()>& listing, Case expected, const char* text = nullptr) {
    const auto error = thrown<ScanError>(listing);
    EXPECT_TRUE(error && error->errorCase() == expected && (!text || std::string(error->what()) == text));
}

TEST_F(ScannerTest, AFolderThatIsMissingOrUnreadableFails) {
    touch("take.wav");
    for (const fs::path& path : {dir / "take.wav", dir / "missing", fs::path()})
        expectScanError([&] { scanner.scanDirectory(path); }, Case::invalidDirectory,
                        "The selected path is not a valid directory");
    if (geteuid() == 0) GTEST_SKIP() << "running as root: permissions do not stop reading";
    touch("locked/take.wav");
    fs::permissions(dir / "locked", fs::perms::none);
    expectScanError([&] { scanner.scanDirectory(dir / "locked"); }, Case::accessDenied,
                    "Access to the directory was denied");
}

// Hidden entries go with everything inside them; links are neither listed
// nor followed (a loop must not trap the walk); the extension decides,
// compared lower-cased, and a folder named like audio is walked, not listed.
TEST_F(ScannerTest, OnlyVisibleRegularAudioFilesAreListed) {
    // ".take_mono.twinfold-…" is how an unfinished output is named.
    for (const char* name : {".hidden/take.wav", ".take.wav", ".take_mono.twinfold-a1B2c3.wav", "sub/.git/deep/x.wav",
                             "Project.bundle/take.wav", "loop.wav/inner.aif", "real.wav"})
        touch(name);
    for (const char* name : {"Take.WAV", "take.Aif", "take.aac", "take.AIFF", "take.Mp3", "take.m4A", "take.flac",
                             "take.ogg", "take", "wav", "take.", "take.wav.bak", "take.wavx", "take.wa"})
        touch(std::string("ext/") + name);
    TempDir outside;
    std::ofstream(outside / "elsewhere.wav").put('x');
    fs::create_directory_symlink(dir.path(), dir / "loop");
    fs::create_directory_symlink(outside.path(), dir / "linked folder");
    fs::create_symlink(dir / "real.wav", dir / "link.wav");
    fs::create_symlink(dir / "nowhere.wav", dir / "dangling.wav");
    ASSERT_EQ(mkfifo((dir / "pipe.wav").c_str(), 0600), 0);
    EXPECT_EQ(scan(),
              (std::set<std::string>{"Project.bundle/take.wav", "loop.wav/inner.aif", "real.wav", "ext/Take.WAV",
                                     "ext/take.Aif", "ext/take.aac", "ext/take.AIFF", "ext/take.Mp3", "ext/take.m4A"}));
}

// ---- split stereo pairs among the listed files ---------------------------------

// A name without a folder lies in /m.
std::string inFolder(const std::string& name) { return name.find('/') == std::string::npos ? "/m/" + name : name; }

// The files, the pairs found, and the files left unpaired (compared in order).
using PairCase = std::tuple<Names, Pairs, Names>;

class SplitPairTest : public ::testing::TestWithParam<PairCase> {};

TEST_P(SplitPairTest, MatchesAsExpected) {
    const auto& [names, expected, expectedUnpaired] = GetParam();
    std::vector<fs::path> input;
    for (const auto& name : names) input.push_back(inFolder(name));
    const auto result = FileScannerService::findSplitStereoPairs(input);
    Pairs pairs, expectedPairs;
    for (const auto& pair : result.pairs) pairs.emplace(pair.left.string(), pair.right.string());
    for (const auto& [left, right] : expected) expectedPairs.emplace(inFolder(left), inFolder(right));
    Names unpaired, unpairedInFolder;
    for (const auto& path : result.unpaired) unpaired.push_back(path.string());
    for (const auto& name : expectedUnpaired) unpairedInFolder.push_back(inFolder(name));
    EXPECT_EQ(std::pair(pairs, unpaired), std::pair(expectedPairs, unpairedInFolder));
}

const PairCase kPairCases[] = {
    {{"Kick.L.wav", "Kick.R.wav", "Snare.wav", "Hat.L.wav"},
     {{"Kick.L.wav", "Kick.R.wav"}},
     {"Snare.wav", "Hat.L.wav"}},
    // Names, marker and extension compare case-insensitively, non-ASCII letters included.
    {{"drums.r.WAV", "Drums.L.wav"}, {{"Drums.L.wav", "drums.r.WAV"}}, {}},
    {{"\u00DCber.L.wav", "\u00FCber.R.wav"}, {{"\u00DCber.L.wav", "\u00FCber.R.wav"}}, {}},
    {{"Drums.L.wav", "Drums.R.aif"}, {}, {"Drums.L.wav", "Drums.R.aif"}},
    // Only files of one folder pair up.
    {{"/a/Kick.L.wav", "/b/Kick.R.wav", "/b/Kick.L.wav", "/a/Kick.R.wav"},
     {{"/a/Kick.L.wav", "/a/Kick.R.wav"}, {"/b/Kick.L.wav", "/b/Kick.R.wav"}},
     {}},
    {{"/A/Kick.L.wav", "/a/Kick.R.wav"}, {}, {"/A/Kick.L.wav", "/a/Kick.R.wav"}},
    // The marker is a dot and L or R right before the extension, after a non-empty name.
    {{"Song_L.wav", "Song_R.wav"}, {}, {"Song_L.wav", "Song_R.wav"}},
    {{"x.L.wav", "x.R.wav"}, {{"x.L.wav", "x.R.wav"}}, {}},
    {{".L.wav", ".R.wav"}, {}, {".L.wav", ".R.wav"}},
    {{"Take.L", "Take.R", "Take.L.wav.bak"}, {}, {"Take.L", "Take.R", "Take.L.wav.bak"}},
    // Two candidates for one side pair nothing and hide nothing.
    {{"Kick.L.wav", "kick.l.wav", "Kick.R.wav"}, {}, {"Kick.L.wav", "kick.l.wav", "Kick.R.wav"}},
    // Unpaired: files without a marker in input order, then unmatched lefts, then rights.
    {{"Pad.R.wav", "Snare.wav", "Bass.L.wav", "Kick.wav"}, {}, {"Snare.wav", "Kick.wav", "Bass.L.wav", "Pad.R.wav"}},
    {{}, {}, {}}};
INSTANTIATE_TEST_SUITE_P(Examples, SplitPairTest, ::testing::ValuesIn(kPairCases));

}  // namespace
}  // namespace twinfold::test
