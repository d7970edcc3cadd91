// Scanning libraries from scripts: one JSON line per file as it is analysed,
// and paths from a list.
#include "CliRunner.h"
#include "support/PcmFixtures.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

namespace twinfold::test {
namespace {

namespace fs = std::filesystem;

TEST(CliLibrary, JsonLinesGiveOneObjectPerFileAndListsAddPaths) {
    const Cli cli;
    const TempDir dir;
    const PcmFormat format{PcmContainer::wav, PcmEncoding::int16, 48000};
    for (int i = 0; i < 4; ++i) {
        writePcm(dir / ("take" + std::to_string(i) + ".wav"), format,
                 stereo(StereoKind::dualMono, 4800, format.encoding, std::uint32_t(i + 1)));
    }
    std::ofstream(dir / "notes.wav") << "not audio";
    std::ofstream(dir / "list.txt") << (dir / "take0.wav").string() << "\n\n" << (dir / "notes.wav").string() << "\n";
    const CliRun listed = cli.run({"scan", "--jsonl", "--no-cache", "--files-from", (dir / "list.txt").string()});
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    std::vector<QJsonObject> objects;
    for (const std::string& line : lines(listed.out)) {
        if (line.empty()) continue;
        QJsonParseError error;
        objects.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(line), &error).object());
        EXPECT_EQ(error.error, QJsonParseError::NoError) << line;
        EXPECT_EQ(objects.back()["schemaVersion"].toInt(), 1) << line;
    }
    ASSERT_EQ(objects.size(), 2u) << listed.out;
    int errors = 0;
    for (const QJsonObject& object : objects) errors += object.contains("error");
    EXPECT_EQ(errors, 1);

    const CliRun all = cli.run({"scan", "--jsonl", "--jobs", "3", dir.path().string()});
    EXPECT_EQ(all.exitCode, 0) << all.err;
    EXPECT_EQ(std::count(all.out.begin(), all.out.end(), '\n'), 5) << all.out;
    EXPECT_EQ(cli.run({"scan", "--jobs", "0", dir.path().string()}).exitCode, 2);
}

// The cache is the command line's to switch on: a second scan of a folder
// nothing changed in answers from it and opens no audio file. The files are
// given time to settle (a file changed within the same clock tick as its
// stamp is not cached).
TEST(CliLibrary, ASecondScanOfAnUnchangedFolderOpensNoAudio) {
    const QString strace = QStandardPaths::findExecutable("strace");
    if (strace.isEmpty()) GTEST_SKIP() << "strace is not installed";
    const Cli cli;
    const TempDir dir;
    writePcm(dir / "take.wav", {PcmContainer::wav, PcmEncoding::int16, 48000},
             stereo(StereoKind::dualMono, 4800, PcmEncoding::int16, 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(3200));
    ASSERT_EQ(cli.run({"scan", dir.path().string()}).exitCode, 0);
    const auto audioOpens = [&](QStringList extra) {
        QProcess process;
        process.setProcessEnvironment(cli.environment());
        process.start(strace, QStringList{"-f", "-e", "trace=openat", TWINFOLD_CLI_PATH, "scan"} + extra +
                                  QStringList{QString::fromStdString(dir.path().string())});
        process.waitForFinished(120000);
        const std::vector<std::string> trace = lines(process.readAllStandardError().toStdString());
        return std::count_if(trace.begin(), trace.end(),
                             [](const std::string& line) { return line.find("take.wav\"") != std::string::npos; });
    };
    EXPECT_EQ(audioOpens({}), 0);
    EXPECT_GT(audioOpens({"--no-cache"}), 0);
}

}  // namespace
}  // namespace twinfold::test
