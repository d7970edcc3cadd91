// Scanning libraries from scripts: one JSON line per file as it is analysed,
// and paths from a list.
#include "CliRunner.h"
#include "support/PcmFixtures.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

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

}  // namespace
}  // namespace twinfold::test
