// twinfold-cli scan and demo, end to end: every file of the demo library is
// classified as its name says, in JSON and in the text table.
#include "CliRunner.h"

#include <QJsonArray>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>

namespace twinfold::test {
namespace {

namespace fs = std::filesystem;

struct Expected {
    const char* filename;
    const char* status;
    const char* silentChannel;
    bool dualMono = false;
    bool phaseInverted = false;
    bool convertible = true;
    int channels = 2;
    bool compressed = false;
};

class DemoClassificationTest : public testing::TestWithParam<Expected> {};

TEST_P(DemoClassificationTest, ScanJsonClassifiesDemoFile) {
    const Expected& e = GetParam();
    Cli cli;
    TempDir dir;
    cli.writeDemo(dir.path());
    const QJsonObject r = resultNamed(cli.scanJson({dir.path().string()}), e.filename);
    EXPECT_EQ(r["statusText"].toString().toStdString(), e.status);
    EXPECT_EQ(r["silentChannel"].toString().toStdString(), e.silentChannel);
    EXPECT_EQ(r["isDualMono"].toBool(), e.dualMono);
    EXPECT_EQ(r["isPhaseInverted"].toBool(), e.phaseInverted);
    EXPECT_EQ(r["isConvertible"].toBool(), e.convertible);
    EXPECT_EQ(r["channelCount"].toInt(), e.channels);
    EXPECT_EQ(r["sourceFormatID"].toString() == "lpcm", !e.compressed);
    EXPECT_EQ(r["sourceFormatID"].toString().size(), 4);
    EXPECT_NEAR(r["duration"].toDouble(), 3.0, 0.01);
    qint64 onDisk = qint64(fs::file_size(r["path"].toString().toStdString()));
    if (!r["pairedPath"].isNull()) onDisk += qint64(fs::file_size(r["pairedPath"].toString().toStdString()));
    EXPECT_EQ(r["fileSize"].toInteger(), onDisk);
    if (e.compressed) {
        EXPECT_EQ(r["bitDepth"].toInt(), 24);
        EXPECT_EQ(r["potentialSavings"].toInteger(), 0);
    } else if (e.convertible && e.channels == 2) {
        EXPECT_EQ(r["potentialSavings"].toInteger(), r["fileSize"].toInteger() / 2);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Demo, DemoClassificationTest,
    testing::Values(Expected{"Dual Mono Guitar.wav", "Dual Mono", "none", true},
                    Expected{"Broadcast Interview.wav", "Dual Mono", "none", true},
                    Expected{"Phase Inverted Bass.wav", "Phase Inverted", "none", false, true},
                    Expected{"Silent Left Keys.aif", "Silent Left Channel", "left"},
                    Expected{"Silent Right Pad.wav", "Silent Right Channel", "right"},
                    Expected{"Empty Take.wav", "No Audio Content", "both", false, false, false},
                    Expected{"True Stereo Ambience.wav", "True Stereo", "none", false, false, false},
                    Expected{"Mono Kick.wav", "Already Mono", "none", false, false, false, 1},
                    Expected{"Podcast Dual Mono.mp3", "Dual Mono", "none", true, false, true, 2, true},
                    Expected{"Voice Memo.m4a", "Dual Mono", "none", true, false, true, 2, true}));

TEST(CliScan, PannedMonoSplitPairAndMultichannelInJson) {
    Cli cli;
    TempDir dir;
    cli.writeDemo(dir.path());
    const QJsonObject document = cli.scanJson({dir.path().string()});

    const QJsonObject panned = resultNamed(document, "Panned Vocal.wav");
    EXPECT_TRUE(panned["isPannedMono"].toBool());
    EXPECT_EQ(panned["pannedMonoLouderChannel"].toString(), "Left Channel");
    EXPECT_EQ(panned["pannedMonoPanPercent"].toInt(), 69);
    EXPECT_EQ(panned["statusText"].toString(), "Mono Panned 69% L");
    EXPECT_TRUE(resultNamed(document, "Dual Mono Guitar.wav")["pannedMonoPanPercent"].isNull());

    const QJsonObject pair = resultNamed(document, "Overheads.wav");
    EXPECT_EQ(pair["path"].toString().toStdString(), (dir / "Overheads.L.wav").string());
    EXPECT_EQ(pair["pairedPath"].toString().toStdString(), (dir / "Overheads.R.wav").string());
    EXPECT_EQ(pair["statusText"].toString(), "Dual Mono");

    const QJsonObject surround = resultNamed(document, "Surround Mix.wav");
    const QJsonObject analysis = surround["multichannelAnalysis"].toObject();
    EXPECT_EQ(analysis["summaryText"].toString(), "Multichannel (6ch) - 1 silent ch, 1 duplicate ch");
    EXPECT_EQ(analysis["removableChannelIndices"].toArray(), (QJsonArray{3, 5}));
    const QJsonArray channels = analysis["channels"].toArray();
    ASSERT_EQ(channels.size(), 6);
    const char* labels[] = {"L", "R", "C", "LFE", "Ls", "Rs"};
    for (int c = 0; c < 6; ++c) {
        SCOPED_TRACE(c);
        EXPECT_EQ(channels[c]["channelIndex"].toInt(), c);
        EXPECT_EQ(channels[c]["channelLabel"].toString(), labels[c]);
        EXPECT_EQ(channels[c]["isSilent"].toBool(), c == 3);
        // A silent channel's peak is minus infinity, which JSON writes as null.
        EXPECT_EQ(channels[c]["peakdBFS"].isNull(), c == 3);
        if (c != 3) {
            EXPECT_LT(channels[c]["peakdBFS"].toDouble(), 0.0);
        }
    }
    EXPECT_EQ(channels[4]["identicalToChannels"].toArray(), QJsonArray{5});
    EXPECT_EQ(channels[5]["identicalToChannels"].toArray(), QJsonArray{4});
    EXPECT_EQ(surround["potentialSavings"].toInteger(), surround["fileSize"].toInteger() * 2 / 6);
}

TEST(CliScan, JsonHasExactlyTheDocumentedMembersAndSummary) {
    Cli cli;
    TempDir dir;
    cli.writeDemo(dir.path());
    const QJsonObject document = cli.scanJson({dir.path().string()});
    EXPECT_EQ(document.keys(), (QStringList{"results", "summary"}));
    const QStringList members{"analysisTime", "bitDepth", "channelCount", "duration", "fileExtension", "fileSize",
                              "filename", "isConvertible", "isDualMono", "isPannedMono", "isPhaseInverted",
                              "multichannelAnalysis", "pairedPath", "pannedMonoLouderChannel",
                              "pannedMonoPanPercent", "path", "potentialSavings", "sampleRate", "silentChannel",
                              "sourceFormatID", "statusText"};
    qint64 convertibleSavings = 0;
    for (const QJsonValue& r : document["results"].toArray()) {
        EXPECT_EQ(r.toObject().keys(), members) << r["filename"].toString().toStdString();
        if (r["isConvertible"].toBool()) convertibleSavings += r["potentialSavings"].toInteger();
    }
    const QJsonObject summary = document["summary"].toObject();
    EXPECT_EQ(summary["totalFiles"].toInt(), 13);  // 14 files, the split pair counts once
    EXPECT_EQ(summary["dualMono"].toInt(), 5);
    EXPECT_EQ(summary["pannedMono"].toInt(), 1);
    EXPECT_EQ(summary["phaseInverted"].toInt(), 1);
    EXPECT_EQ(summary["silentChannel"].toInt(), 2);
    EXPECT_EQ(summary["noAudio"].toInt(), 1);
    EXPECT_EQ(summary["multichannel"].toInt(), 1);
    EXPECT_EQ(summary["trueStereo"].toInt(), 1);
    EXPECT_EQ(summary["totalPotentialSavings"].toInteger(), convertibleSavings);
    EXPECT_GT(convertibleSavings, 0);
}

TEST(CliScan, TextTableShowsTheWindowsTexts) {
    Cli cli;
    TempDir dir;
    cli.writeDemo(dir.path());
    const CliRun r = cli.run({"scan", dir.path().string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<std::string> out = lines(r.out);
    ASSERT_GT(out.size(), 14u);
    EXPECT_EQ(cells(out[0]), (std::vector<std::string>{"Filename", "Channels", "Bit Depth", "Sample Rate", "Duration",
                                                      "Size", "Status"}));
    // Rows are sorted by file name; the size column is checked for its form only.
    const std::vector<std::vector<std::string>> rows{
        {"Broadcast Interview.wav", "2ch", "24-bit", "48k", "0:03", "Dual Mono"},
        {"Dual Mono Guitar.wav", "2ch", "24-bit", "48k", "0:03", "Dual Mono"},
        {"Empty Take.wav", "2ch", "24-bit", "48k", "0:03", "No Audio Content"},
        {"Mono Kick.wav", "1ch", "24-bit", "48k", "0:03", "Already Mono"},
        {"Overheads.wav", "2ch", "24-bit", "48k", "0:03", "Dual Mono"},
        {"Panned Vocal.wav", "2ch", "24-bit", "48k", "0:03", "Mono Panned 69% L"},
        {"Phase Inverted Bass.wav", "2ch", "24-bit", "48k", "0:03", "Phase Inverted"},
        {"Podcast Dual Mono.mp3", "2ch", "Compressed", "44.1k", "0:03", "Dual Mono"},
        {"Silent Left Keys.aif", "2ch", "16-bit", "44.1k", "0:03", "Silent Left Channel"},
        {"Silent Right Pad.wav", "2ch", "16-bit", "44.1k", "0:03", "Silent Right Channel"},
        {"Surround Mix.wav", "6ch", "24-bit", "48k", "0:03", "Multichannel (6ch) - 1 silent ch, 1 duplicate ch"},
        {"True Stereo Ambience.wav", "2ch", "24-bit", "48k", "0:03", "True Stereo"},
        {"Voice Memo.m4a", "2ch", "Compressed", "44.1k", "0:03", "Dual Mono"}};
    const QRegularExpression size("^[0-9]+(\\.[0-9])? (kB|MB)$");
    for (std::size_t i = 0; i < rows.size(); ++i) {
        std::vector<std::string> row = cells(out[i + 1]);
        ASSERT_EQ(row.size(), 7u) << out[i + 1];
        EXPECT_TRUE(size.match(QString::fromStdString(row[5])).hasMatch()) << row[5];
        row.erase(row.begin() + 5);
        EXPECT_EQ(row, rows[i]);
    }
    const auto has = [&](const std::vector<std::string>& wanted) {
        return std::any_of(out.begin(), out.end(), [&](const std::string& l) { return cells(l) == wanted; });
    };
    EXPECT_TRUE(has({"Surround Mix.wav: Channel Details, 2 removable channels"}));
    EXPECT_TRUE(has({"Ch 4", "LFE", "Silent", "Silent"}));
    const auto rs = std::find_if(out.begin(), out.end(), [](const std::string& l) { return l.find("Ch 6") != l.npos; });
    ASSERT_NE(rs, out.end());
    EXPECT_EQ(cells(*rs).front(), "Ch 6");
    EXPECT_EQ(cells(*rs).back(), "Dup of 5");
    for (const char* line : {"Total Files: 13", "Dual Mono: 6", "Phase Inverted: 1", "Silent Channel: 2",
                             "No Audio: 1", "Multichannel: 1", "True Stereo: 1"})
        EXPECT_NE(std::find(out.begin(), out.end(), line), out.end()) << line;
    EXPECT_TRUE(std::any_of(out.begin(), out.end(), [](const std::string& l) {
        return QRegularExpression("^Potential Savings: [0-9.]+ MB$").match(QString::fromStdString(l)).hasMatch();
    }));
}

TEST(CliScan, ThresholdAppliesToThisRunOnly) {
    Cli cli;
    TempDir dir;
    cli.writeDemo(dir.path());
    // Nothing rises above full scale, so at 0 dBFS every channel counts as silent.
    const QJsonObject loud = cli.scanJson({"--threshold", "0", dir.path().string()});
    EXPECT_EQ(resultNamed(loud, "True Stereo Ambience.wav")["statusText"].toString(), "No Audio Content");
    EXPECT_EQ(resultNamed(loud, "Dual Mono Guitar.wav")["silentChannel"].toString(), "both");
    EXPECT_FALSE(fs::exists(cli.settingsFile()));
    const QJsonObject normal = cli.scanJson({dir.path().string()});
    EXPECT_EQ(resultNamed(normal, "True Stereo Ambience.wav")["statusText"].toString(), "True Stereo");
}

TEST(CliScan, FilesAndFoldersAreTakenLikeDroppedItems) {
    Cli cli;
    TempDir dir;
    cli.writeDemo(dir / "lib");
    const std::string guitar = (dir / "lib" / "Dual Mono Guitar.wav").string();
    // The same file twice, once through a relative-looking detour, and a folder that holds it: analysed once.
    const QJsonObject document =
        cli.scanJson({guitar, (dir / "lib" / ".." / "lib" / "Dual Mono Guitar.wav").string(), (dir / "lib").string()});
    EXPECT_EQ(document["summary"]["totalFiles"].toInt(), 13);

    std::ofstream(dir / "notes.txt") << "not audio";
    const CliRun none = cli.run({"scan", (dir / "notes.txt").string(), (dir / "missing.wav").string()});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_NE(none.err.find("No supported audio files found. Twinfold supports WAV, AIFF, MP3, and M4A files."),
              std::string::npos)
        << none.err;
    EXPECT_EQ(none.out, "");
}

TEST(CliDemo, NeverOverwritesAndWritesNothingWhenANameIsTaken) {
    Cli cli;
    TempDir dir;
    std::ofstream(dir / "Mono Kick.wav") << "keep me";
    const CliRun r = cli.run({"demo", dir.path().string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Mono Kick.wav"), std::string::npos) << r.err;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
    std::ifstream kept(dir / "Mono Kick.wav");
    std::string text;
    std::getline(kept, text);
    EXPECT_EQ(text, "keep me");
}

TEST(CliDemo, CreatesMissingFoldersAndWritesEveryFile) {
    Cli cli;
    TempDir dir;
    const CliRun r = cli.run({"demo", (dir / "a" / "b").string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir / "a" / "b")) names.insert(entry.path().filename().string());
    EXPECT_EQ(names.size(), 14u);
    EXPECT_TRUE(names.count("Overheads.L.wav") && names.count("Overheads.R.wav"));
    // A second run finds its names taken.
    EXPECT_EQ(cli.run({"demo", (dir / "a" / "b").string()}).exitCode, 1);
}

}  // namespace
}  // namespace twinfold::test
