#include "scanning/FileScannerService.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <future>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace twinfold {
namespace {

namespace fs = std::filesystem;
using Case = ScanError::Case;

class ScannerTest : public ::testing::Test {
protected:
    void touch(const std::string& relative) {
        const fs::path file = dir / relative;
        fs::create_directories(file.parent_path());
        std::ofstream(file).put('x');
    }
    // Listed files relative to the scanned folder, in result order.
    std::vector<std::string> scan(const ScanProgress& progress = {}) {
        std::vector<std::string> relative;
        for (const auto& file : scanner.scanDirectory(dir.path(), progress))
            relative.push_back(file.lexically_relative(dir.path()).generic_string());
        return relative;
    }
    static std::set<std::string> asSet(const std::vector<std::string>& v) { return {v.begin(), v.end()}; }

    test::TempDir dir;
    FileScannerService scanner;
};

// Builds "<prefix><n><suffix>" (written out because g++ 12 at -O3 gives a
// false -Wrestrict warning for "literal" + std::to_string(n)).
std::string numbered(const char* prefix, int n, const char* suffix = "") {
    std::string text = prefix;
    text += std::to_string(n);
    text += suffix;
    return text;
}

void expectScanError(FileScannerService& scanner, const fs::path& folder, Case expected, const char* text) {
    try {
        scanner.scanDirectory(folder);
        ADD_FAILURE() << "no error for " << folder;
    } catch (const ScanError& error) {
        EXPECT_EQ(error.errorCase(), expected);
        EXPECT_STREQ(error.what(), text);
    }
}

TEST_F(ScannerTest, FileOrMissingPathIsNotADirectory) {
    touch("take.wav");
    for (const fs::path& path : {dir / "take.wav", dir / "missing", fs::path()})
        expectScanError(scanner, path, Case::invalidDirectory, "The selected path is not a valid directory");
}

TEST_F(ScannerTest, UnreadableFolderIsAccessDenied) {
    if (geteuid() == 0) GTEST_SKIP() << "running as root: permissions do not stop reading";
    touch("locked/take.wav");
    fs::permissions(dir / "locked", fs::perms::none);
    expectScanError(scanner, dir / "locked", Case::accessDenied, "Access to the directory was denied");
}

TEST_F(ScannerTest, HiddenEntriesAndEverythingInsideHiddenFoldersAreSkipped) {
    for (const char* name : {".hidden/take.wav", ".take.wav", "sub/.git/deep/x.wav", "Project.bundle/take.wav",
                             "visible.wav"})
        touch(name);
    EXPECT_EQ(asSet(scan()), (std::set<std::string>{"Project.bundle/take.wav", "visible.wav"}));
}

TEST_F(ScannerTest, FolderNamedLikeAudioIsWalkedButNotListed) {
    touch("loop.wav/inner.aif");
    EXPECT_EQ(scan(), std::vector<std::string>{"loop.wav/inner.aif"});
}

TEST_F(ScannerTest, SpecialFilesAndLinksAreNeitherListedNorFollowed) {
    touch("real.wav");
    test::TempDir outside;
    std::ofstream(outside / "elsewhere.wav").put('x');
    fs::create_directory_symlink(dir.path(), dir / "loop");
    fs::create_directory_symlink(outside.path(), dir / "linked folder");
    fs::create_symlink(dir / "real.wav", dir / "link.wav");
    fs::create_symlink(dir / "nowhere.wav", dir / "dangling.wav");
    ASSERT_EQ(mkfifo((dir / "pipe.wav").c_str(), 0600), 0);
    EXPECT_EQ(scan(), std::vector<std::string>{"real.wav"});
}

struct ExtensionCase {
    const char* name;
    bool listed;
};

class ExtensionTest : public ScannerTest, public ::testing::WithParamInterface<ExtensionCase> {};

TEST_P(ExtensionTest, ExtensionIsComparedLowerCased) {
    touch(GetParam().name);
    EXPECT_EQ(scan().size(), GetParam().listed ? 1u : 0u) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Names, ExtensionTest,
                         ::testing::Values(ExtensionCase{"Take.WAV", true}, ExtensionCase{"take.Aif", true},
                                           ExtensionCase{"take.aac", true}, ExtensionCase{"take.AIFF", true},
                                           ExtensionCase{"take.Mp3", true}, ExtensionCase{"take.m4A", true},
                                           ExtensionCase{"take.flac", false}, ExtensionCase{"take.ogg", false},
                                           ExtensionCase{"take", false}, ExtensionCase{"wav", false},
                                           ExtensionCase{"take.", false}, ExtensionCase{"take.wav.bak", false},
                                           ExtensionCase{"take.wavx", false}, ExtensionCase{"take.wa", false}));

std::ptrdiff_t indexOf(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) - list.begin();
}

TEST_F(ScannerTest, SortedByFileNameAcrossFoldersNotNumerically) {
    for (const char* name : {"b.wav", "x/y/c.wav", "sub/a.wav", "Take 2.wav", "Take 10.wav"}) touch(name);
    const auto listed = scan();
    ASSERT_EQ(listed.size(), 5u);
    EXPECT_LT(indexOf(listed, "sub/a.wav"), indexOf(listed, "b.wav"));
    EXPECT_LT(indexOf(listed, "b.wav"), indexOf(listed, "x/y/c.wav"));
    EXPECT_LT(indexOf(listed, "Take 10.wav"), indexOf(listed, "Take 2.wav"));
}

// Equal names keep the order in which their folders were walked. Each folder
// also holds a uniquely named marker, so the progress reports reveal that order.
TEST_F(ScannerTest, EqualNamesKeepEnumerationOrder) {
    for (int i = 0; i < 40; ++i) {
        touch(numbered("f", i, "/same.wav"));
        touch(numbered("f", i, "/") + numbered("marker", i, ".wav"));
    }
    std::vector<std::string> folderOrder;
    const auto listed = scan([&](std::size_t, const std::string& name) {
        if (name.starts_with("marker")) folderOrder.push_back(numbered("f", std::stoi(name.substr(6))));
    });
    std::vector<std::string> sameOrder;
    for (const auto& file : listed)
        if (file.ends_with("/same.wav")) sameOrder.push_back(file.substr(0, file.find('/')));
    EXPECT_EQ(sameOrder, folderOrder);
}

TEST_F(ScannerTest, ProgressCountsEveryAudioFileOnce) {
    for (int i = 0; i < 250; ++i) touch(numbered("d", i % 7, "/") + numbered("t", i, ".wav"));
    touch("notes.txt");
    std::vector<std::size_t> counts;
    std::multiset<std::string> names;
    const auto listed = scan([&](std::size_t count, const std::string& name) {
        counts.push_back(count);
        names.insert(name);
    });
    ASSERT_EQ(listed.size(), 250u);
    for (std::size_t i = 0; i < counts.size(); ++i) ASSERT_EQ(counts[i], i + 1);
    std::multiset<std::string> listedNames;
    for (const auto& file : listed) listedNames.insert(fs::path(file).filename().string());
    EXPECT_EQ(names, listedNames);
}

TEST_F(ScannerTest, UnreadableSubfolderIsSkipped) {
    if (geteuid() == 0) GTEST_SKIP() << "running as root: permissions do not stop reading";
    touch("open/a.wav");
    touch("locked/b.wav");
    fs::permissions(dir / "locked", fs::perms::none);
    EXPECT_EQ(scan(), std::vector<std::string>{"open/a.wav"});
}

// Works as root too: folders that vanish before the walk reaches them cannot
// be opened, and the walk must go on with everything else.
TEST_F(ScannerTest, FoldersVanishingDuringTheWalkAreSkipped) {
    std::set<std::string> kept;
    for (int i = 0; i < 60; ++i) {
        touch(numbered("s", i, "/inner.wav"));
        touch(numbered("r", i, ".wav"));
        kept.insert(numbered("r", i, ".wav"));
        if (i % 2) kept.insert(numbered("s", i, "/inner.wav"));
    }
    bool removed = false;
    std::vector<std::string> listed;
    ASSERT_NO_THROW(listed = scan([&](std::size_t, const std::string&) {
        if (std::exchange(removed, true)) return;
        for (int i = 0; i < 60; i += 2) fs::remove_all(dir / numbered("s", i));
    }));
    const auto listedSet = asSet(listed);
    EXPECT_TRUE(std::includes(listedSet.begin(), listedSet.end(), kept.begin(), kept.end()));
}

TEST_F(ScannerTest, CancelFromAnotherThreadStopsAtTheNextEntry) {
    for (int i = 0; i < 3000; ++i) touch(numbered("d", i % 30, "/") + numbered("t", i, ".wav"));
    std::promise<void> firstFileFound;
    std::promise<void> cancelSent;
    std::size_t reports = 0;
    auto listing = std::async(std::launch::async, [&] {
        return scanner.scanDirectory(dir.path(), [&](std::size_t, const std::string&) {
            if (++reports == 1) {
                firstFileFound.set_value();
                cancelSent.get_future().wait();
            }
        });
    });
    firstFileFound.get_future().wait();
    scanner.cancel();
    cancelSent.set_value();
    try {
        listing.get();
        ADD_FAILURE() << "the listing was not cancelled";
    } catch (const ScanError& error) {
        EXPECT_EQ(error.errorCase(), Case::cancelled);
        EXPECT_STREQ(error.what(), "Scan was cancelled");
    }
    EXPECT_EQ(reports, 1u);
}

TEST_F(ScannerTest, CancelBeforeTheListingHasNoEffect) {
    touch("a.wav");
    scanner.cancel();
    EXPECT_EQ(scan(), std::vector<std::string>{"a.wav"});
    EXPECT_FALSE(scanner.isCancelled());
}

// The caller's token is not cleared by the listing, so a cancel that came
// before the call is heard even where no audio file would ever be reported.
TEST_F(ScannerTest, CallersTokenSetBeforeTheListingStopsIt) {
    for (int i = 0; i < 400; ++i) touch(numbered("d", i % 20, "/") + numbered("notes", i, ".txt"));
    const std::atomic<bool> stop{true};
    std::size_t reports = 0;
    try {
        scanner.scanDirectory(dir.path(), [&](std::size_t, const std::string&) { ++reports; }, &stop);
        ADD_FAILURE() << "the listing was not cancelled";
    } catch (const ScanError& error) {
        EXPECT_EQ(error.errorCase(), Case::cancelled);
    }
    EXPECT_EQ(reports, 0u);
    EXPECT_FALSE(scanner.isCancelled());  // the service's own flag is cleared as before
    const std::atomic<bool> go{false};
    EXPECT_TRUE(scanner.scanDirectory(dir.path(), {}, &go).empty());
}

// Subfolders are walked only after their parent is read to the end, so the
// one audio file at the top is reported before any of the hundreds of other
// entries below it; none of them may be passed once the token is set.
TEST_F(ScannerTest, CallersTokenSetDuringTheWalkStopsItAtTheNextEntry) {
    touch("a.wav");
    for (int i = 0; i < 600; ++i) touch(numbered("d", i % 30, "/") + numbered("image", i, ".png"));
    std::atomic<bool> stop{false};
    std::size_t reports = 0;
    try {
        scanner.scanDirectory(
            dir.path(), [&](std::size_t, const std::string&) { ++reports, stop.store(true); }, &stop);
        ADD_FAILURE() << "the listing was not cancelled";
    } catch (const ScanError& error) {
        EXPECT_EQ(error.errorCase(), Case::cancelled);
    }
    EXPECT_EQ(reports, 1u);
}

TEST_F(ScannerTest, UnusableLocaleInTheEnvironmentFallsBack) {
    touch("b.wav");
    touch("a.wav");
    const char* saved = std::getenv("LC_ALL");
    const std::string savedValue = saved ? saved : "";
    setenv("LC_ALL", "xx_NOWHERE.bogus", 1);
    std::vector<std::string> listed;
    EXPECT_NO_THROW(listed = scan());
    saved ? setenv("LC_ALL", savedValue.c_str(), 1) : unsetenv("LC_ALL");
    EXPECT_EQ(listed, (std::vector<std::string>{"a.wav", "b.wav"}));
}

}  // namespace
}  // namespace twinfold
