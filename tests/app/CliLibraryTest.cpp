// Scanning libraries from scripts: one JSON line per file as it is analysed,
// paths from a list, and a second scan of an unchanged folder that reads no
// audio at all (the analysis cache).
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

class CliLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        const PcmFormat format{PcmContainer::wav, PcmEncoding::int16, 48000};
        for (int i = 0; i < 4; ++i) {
            writePcm(dir / ("take" + std::to_string(i) + ".wav"), format,
                     stereo(StereoKind::dualMono, 4800, format.encoding, std::uint32_t(i + 1)));
        }
        std::ofstream(dir / "notes.wav") << "not audio";
    }

    Cli cli;
    TempDir dir;
};

TEST_F(CliLibrary, JsonLinesGiveOneObjectPerFileAndListsAddPaths) {
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

// A file just written is not cached (a change within the same clock tick
// would not show in its times), so the files are given time to settle.
TEST_F(CliLibrary, ASecondScanOfAnUnchangedFolderReadsNoAudio) {
    const QString strace = QStandardPaths::findExecutable("strace");
    if (strace.isEmpty()) GTEST_SKIP() << "strace is not installed";
    std::this_thread::sleep_for(std::chrono::milliseconds(3200));
    ASSERT_EQ(cli.run({"scan", dir.path().string()}).exitCode, 0);
    auto audioOpens = [&](const std::vector<std::string>& extra) {
        std::vector<std::string> arguments{"-f", "-e", "trace=openat", TWINFOLD_CLI_PATH, "scan"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        arguments.push_back(dir.path().string());
        QStringList args;
        for (const std::string& a : arguments) args << QString::fromStdString(a);
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const fs::path configHome = cli.settingsFile().parent_path().parent_path();
        env.insert("XDG_CONFIG_HOME", QString::fromStdString(configHome.string()));
        env.insert("XDG_CACHE_HOME", QString::fromStdString((configHome / "cache").string()));
        process.setProcessEnvironment(env);
        process.start(strace, args);
        process.waitForFinished(120000);
        int opens = 0;
        for (const std::string& line : lines(process.readAllStandardError().toStdString())) {
            opens += line.find("take") != std::string::npos && line.find(".wav\"") != std::string::npos;
        }
        return opens;
    };
    EXPECT_EQ(audioOpens({}), 0);
    EXPECT_GT(audioOpens({"--no-cache"}), 0);
}

}  // namespace
}  // namespace twinfold::test
