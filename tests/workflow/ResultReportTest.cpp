// The report of a scan: its CSV columns and JSON members, from a real file.
#include "analysis/AudioAnalyzerService.h"
#include "support/PcmFixtures.h"
#include "support/TempDir.h"
#include "workflow/ResultReport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

namespace twinfold {
namespace {

using namespace test;

QByteArray contents(const std::filesystem::path& path) {
    QFile file(QString::fromStdString(path.string()));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(ResultReport, WritesEveryColumnAndMember) {
    TempDir dir;
    Channels c = stereo(StereoKind::dualMono, 3000, PcmEncoding::int16);
    c[1][2999] = c[1][2999] > 0 ? 0 : 1.0 / 32768;
    writePcm(dir / "take, one.wav", {PcmContainer::wav, PcmEncoding::int16}, c);
    const ScanResult r = AudioAnalyzerService(1.6e-5f).analyzeFile(dir / "take, one.wav");

    writeReport({r}, ReportFormat::csv, dir / "report.csv");
    const QList<QByteArray> lines = contents(dir / "report.csv").split('\n');
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines[0].trimmed(),
              "file,paired file,verdict,channels,sample rate,peak dBFS,RMS dBFS,correlation,"
              "max difference dBFS,first differing frame,max sum dBFS,pan gain dB,"
              "pan residual dB,evidence");
    const QString row = QString::fromUtf8(lines[1]);
    EXPECT_TRUE(row.startsWith('"' + QString::fromStdString((dir / "take, one.wav").string()) + "\",,"))
        << row.toStdString();
    EXPECT_TRUE(row.contains(",2999,")) << row.toStdString();
    EXPECT_TRUE(row.contains("differ only from frame 2,999 on")) << row.toStdString();

    writeReport({r}, ReportFormat::json, dir / "report.json");
    const QJsonObject first = QJsonDocument::fromJson(contents(dir / "report.json"))["results"][0].toObject();
    for (const char* key : {"file", "verdict", "channelCount", "sampleRate", "evidence", "sentences"})
        EXPECT_TRUE(first.contains(key)) << key;
    const QJsonObject pair = first["evidence"]["pair"].toObject();
    for (const char* key : {"correlation", "maxDifferencedBFS", "firstDifferingFrame", "maxSumdBFS"})
        EXPECT_TRUE(pair.contains(key)) << key;
    EXPECT_EQ(pair["firstDifferingFrame"].toInteger(), 2999);
    EXPECT_EQ(first["evidence"]["channels"].toArray().size(), 2);

    EXPECT_THROW(writeReport({r}, ReportFormat::csv, dir / "no-folder" / "r.csv"), std::runtime_error);
}

}  // namespace
}  // namespace twinfold
