#include "WorkflowFixture.h"

#include "jobs/BackupManifest.h"
#include "jobs/OriginalFiles.h"
#include "jobs/RestoreOriginals.h"

#include <QCryptographicHash>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>

namespace twinfold::test {
namespace {

class OriginalsTest : public WorkflowFixture {
protected:
    void SetUp() override {
        vm->setBackupTimeSource([] { return QDateTime(QDate(2025, 3, 7), QTime(14, 5)); });
    }

    // Converts the current selection and returns the problems with the
    // originals, one line each; nothing may go to standard output.
    std::string convertCapturingOutput() {
        ::testing::internal::CaptureStdout();
        finished(convertSelected());
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
        std::string problems;
        if (!vm->lastConversionOutcome()) return "(no outcome)";
        for (const std::string& line : vm->lastConversionOutcome()->problems) problems += line + "\n";
        return problems;
    }

    fs::path backup() const { return dir / "Twinfold Backup 2025-03-07 14:05"; }

    // The digest by Qt, not by the code under test.
    static std::string sha256(const fs::path& file) {
        const QByteArray bytes = QByteArray::fromStdString(fileText(file));
        return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().toStdString();
    }
};

// A write-protected original, then an immutable one (which even root cannot
// delete: the system's own refusal), stays and is named.
TEST_F(OriginalsTest, AnOriginalThatCannotBeDeletedStays) {
    setPolicy(OriginalFileHandling::deleteOriginals);
    const fs::path locked = wav(dir / "locked.wav", StereoKind::dualMono);
    const fs::path plain = wav(dir / "plain.wav", StereoKind::dualMono);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    scanFolder();
    EXPECT_EQ(convertCapturingOutput(), "Failed to delete locked.wav: Permission denied\n");
    EXPECT_TRUE(fs::exists(locked) && !fs::exists(plain));

    fs::remove(dir / "locked_mono.wav");
    fs::permissions(locked, fs::perms::owner_all);
    if (std::system(("chattr +i '" + locked.string() + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "this file system cannot mark files immutable here";
    scanFolder();
    const std::string output = convertCapturingOutput();
    std::system(("chattr -i '" + locked.string() + "'").c_str());
    EXPECT_EQ(output, "Failed to delete locked.wav: Operation not permitted\n");
    EXPECT_TRUE(fs::exists(locked));
}

TEST_F(OriginalsTest, WithoutOneFolderNothingIsMovedAndNothingIsSaid) {
    setPolicy(OriginalFileHandling::moveToBackup);
    const fs::path a = wav(dir / "one" / "a.wav", StereoKind::dualMono);
    const fs::path b = wav(dir / "two" / "b.wav", StereoKind::dualMono);
    scan({dir / "one", dir / "two"});
    ASSERT_EQ(vm->selectedFolderPath(), std::nullopt);
    EXPECT_EQ(convertCapturingOutput(), "");
    EXPECT_TRUE(fs::exists(a) && fs::exists(b) && vm->convertedOriginalPaths().empty());
    EXPECT_EQ(vm->conversionState().kind, ConversionState::Case::completed);  // no rescan without a folder
}

// Anything but a real folder under the backup folder's name stops every
// move; a symbolic link would carry the originals out of the scanned tree.
TEST_F(OriginalsTest, AnythingButAFolderInTheBackupFolderPlaceStopsEveryMove) {
    setPolicy(OriginalFileHandling::moveToBackup);
    const TempDir outside;
    const std::string linkLine =
        "Failed to create backup folder: Twinfold Backup 2025-03-07 14:05 is a symbolic link\n";
    const std::vector<std::pair<std::function<void()>, std::string>> rows{
        {[&] { std::ofstream(backup()) << "in the way"; }, "Failed to create backup folder: Not a directory\n"},
        {[&] { fs::create_directory_symlink(outside.path(), backup()); }, linkLine},
        {[&] { fs::create_directory_symlink(outside / "gone", backup()); }, linkLine},
        // Without its record an original could not be put back.
        {[&] { fs::create_directories(backup() / kBackupManifestName); },
         "Failed to write the backup record twinfold-manifest.jsonl: Is a directory\n"},
    };
    const fs::path a = wav(dir / "a.wav", StereoKind::dualMono);
    for (const auto& [putInTheWay, line] : rows) {
        putInTheWay();
        scanFolder();
        EXPECT_EQ(convertCapturingOutput(), line);
        EXPECT_TRUE(fs::exists(a) && fs::is_empty(outside.path()));
        fs::remove_all(backup());
        fs::remove(dir / "a_mono.wav");
    }
}

// A manifest is a file anyone could edit: a record pointing out of the
// folder moves nothing, and restoring twice finds the work already done.
TEST_F(OriginalsTest, RestoreFollowsNoRecordOutOfTheFolderAndCanBeRepeated) {
    fs::create_directories(backup());
    std::ofstream(backup() / "x.wav") << "x";
    std::ofstream(dir / "outside.wav") << "keep me";
    const std::string digest = sha256(backup() / "x.wav");
    std::ofstream(backup() / kBackupManifestName)
        << manifestLine({{"../../x.wav", 1, digest}, {}}) << "\n"
        << manifestLine({{"x.wav", 1, digest}, {{"../outside.wav", 7, sha256(dir / "outside.wav")}}}) << "\n"
        << "not json\n";
    RestoreReport report = restoreOriginals(backup(), true);
    const std::string manifest = (backup() / kBackupManifestName).string();
    EXPECT_EQ(report.problems,
              (std::vector<std::string>{manifest + ", line 3: not a record this version can read",
                                        "Not restored ../../x.wav: the record points outside the folder"}));
    EXPECT_EQ(fileText(dir / "x.wav") + fileText(dir / "outside.wav"), "xkeep me");
    report = restoreOriginals(backup(), true);
    EXPECT_EQ(std::tuple(report.restored.size(), report.problems.size()), std::tuple(0u, 2u));  // nothing left to do
}

// ---- a backup folder on a memory card -------------------------------------------

TEST(BackupFolderNameTest, AColonTheFileSystemRefusesBecomesAHyphen) {
    const std::string name = "Twinfold Backup 2025-03-07 14:05";
    const std::vector<std::tuple<std::string, int, std::optional<std::string>>> rows{
        {name, EINVAL, "Twinfold Backup 2025-03-07 14-05"},  // the kernel's vfat and exfat
        {name, EPERM, "Twinfold Backup 2025-03-07 14-05"},   // fusefat
        {name, EACCES, std::nullopt},                        // no name would help
        {name, ENOSPC, std::nullopt},
        {name, EROFS, std::nullopt},
        {"Twinfold Backup 2025-03-07 14-05", EINVAL, std::nullopt},  // already the plain name: no loop
    };
    for (const auto& [refused, error, expected] : rows)
        EXPECT_EQ(backupNameAfterRefusal(refused, error), expected) << refused << " " << error;
}

// A FAT image of its own, mounted by the kernel or else through FUSE;
// `skipReason` says why neither could mount it.
struct FatMount {
    FatMount() {
        const std::string image = "'" + (scratch / "card.img").string() + "'", at = "'" + point.string() + "'";
        fs::create_directory(point);
        if (run("truncate -s 16M " + image + " && mkfs.vfat " + image) != 0)
            skipReason = "mkfs.vfat (dosfstools) is not available";
        else if (run("mount -t vfat -o loop " + image + " " + at) == 0)
            unmount = "umount " + at;
        else if (run("fusefat -o rw+ " + image + " " + at) == 0)
            unmount = "fusermount -u " + at;
        else
            skipReason = "neither a loop mount of vfat nor fusefat works here";
    }
    ~FatMount() {
        if (!unmount.empty()) run(unmount);
    }
    static int run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

    TempDir scratch;
    const fs::path point = scratch / "card";
    std::string skipReason, unmount;
};

// The same minute reuses the folder the card accepted, and a name taken
// there is never replaced.
TEST(BackupFolderNameTest, OnAFatCardTheBackupFolderTakesTheNameTheCardAccepts) {
    const FatMount card;
    if (!card.skipReason.empty()) GTEST_SKIP() << card.skipReason;
    const fs::path take = card.point / "Take.wav", again = card.point / "Day 2" / "Take.wav";
    fs::create_directory(card.point / "Day 2");
    writeFile(take, "first take");
    writeFile(again, "day two");
    std::vector<std::string> problems;
    const auto moveToBackup = [&](const fs::path& original) {
        handleOriginalFiles({{original, {}}}, OriginalFileHandling::moveToBackup, card.point,
                            "Twinfold Backup 2025-03-07 14:05",
                            [&](const std::string& line) { problems.push_back(line); });
    };
    moveToBackup(take);
    moveToBackup(again);
    writeFile(take, "a newer take");
    moveToBackup(take);
    EXPECT_EQ(problems, std::vector<std::string>{"Failed to move Take.wav: File exists"});
    const std::string backup = "Twinfold Backup 2025-03-07 14-05";
    auto tree = fileTree(card.point);
    tree.erase(backup + "/" + kBackupManifestName);
    EXPECT_EQ(tree, (std::map<std::string, std::string>{{"Day 2", "/"},
                                                        {"Take.wav", "a newer take"},
                                                        {backup, "/"},
                                                        {backup + "/Day 2", "/"},
                                                        {backup + "/Day 2/Take.wav", "day two"},
                                                        {backup + "/Take.wav", "first take"}}));
}

// ---- the move itself ------------------------------------------------------------

class MoveFileTest : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(MoveFileTest, CopyingMovesTheBytesAndRemovesTheSource) {
    writeFile(dir / "take.wav", std::string(100000, 'x') + "end");
    fs::permissions(dir / "take.wav", fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_FALSE(moveFileByCopying(dir / "take.wav", dir / "moved.wav"));
    EXPECT_FALSE(fs::exists(dir / "take.wav"));
    EXPECT_EQ(fileText(dir / "moved.wav"), std::string(100000, 'x') + "end");
    EXPECT_EQ(fs::status(dir / "moved.wav").permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

// A process killed mid-copy (here by SIGXFSZ, at a file size limit) cannot
// clean up: the copy must not be under the original's name by then.
TEST_F(MoveFileTest, ACopyKilledMidwayLeavesNoPartialFileUnderTheName) {
    writeFile(dir / "take.wav", std::string(200000, 'x'));
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_DFL);
        const rlimit limit{65536, 65536};
        setrlimit(RLIMIT_FSIZE, &limit);
        moveFileByCopying(dir / "take.wav", dir / "moved.wav");
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ);
    EXPECT_TRUE(!fs::exists(dir / "moved.wav") && fileText(dir / "take.wav") == std::string(200000, 'x'));
}

TEST_F(MoveFileTest, NeitherRouteReplacesAFileAndAFailedCopyLeavesNoPartialFile) {
    writeFile(dir / "take.wav", "original");
    writeFile(dir / "taken.wav", "someone else's");
    for (auto move : {moveFileWithoutReplacing, moveFileByCopying}) {
        EXPECT_EQ(move(dir / "take.wav", dir / "taken.wav"), std::errc::file_exists);
        EXPECT_EQ(fileText(dir / "taken.wav"), "someone else's");
    }
    EXPECT_EQ(moveFileByCopying(dir / "take.wav", dir / "missing" / "take.wav"), std::errc::no_such_file_or_directory);
    EXPECT_TRUE(fileText(dir / "take.wav") == "original" && !fs::exists(dir / "missing"));
}

TEST_F(MoveFileTest, AMoveAcrossFileSystemsCopiesThenRemoves) {
    const fs::path shm = "/dev/shm";
    struct stat shmInfo {
    }, tmpInfo{};
    if (::stat(shm.c_str(), &shmInfo) != 0 || ::stat(dir.path().c_str(), &tmpInfo) != 0 ||
        shmInfo.st_dev == tmpInfo.st_dev) {
        GTEST_SKIP() << "no second file system to move across";
    }
    const fs::path source = shm / numbered("twinfold-move-", ::getpid(), ".wav");
    writeFile(source, "recording");
    EXPECT_FALSE(moveFileWithoutReplacing(source, dir / "moved.wav"));
    EXPECT_TRUE(!fs::exists(source) && fileText(dir / "moved.wav") == "recording");
    fs::remove(source);
}

}  // namespace
}  // namespace twinfold::test
