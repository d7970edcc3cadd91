// twinfold-cli scan and demo, end to end: every file of the demo library is
// classified as its name says, in JSON and in the text table.
#include "CliRunner.h"
#include "support/FileTree.h"
#include "support/PcmFixtures.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace twinfold::test {
namespace {

namespace fs = std::filesystem;
using testing::Contains;
using testing::HasSubstr;
using testing::MatchesRegex;
using testing::Not;

struct Expected {
    const char* filename;
    const char* status;    // the display text
    const char* statusID;  // the stable identifier a script reads beside it
    int channels;
    const char* bitDepth;  // as the table shows them
    const char* sampleRate;
};

// In the order of the text table: sorted by file name.
const Expected kDemo[] = {
    {"Broadcast Interview.wav", "Dual Mono", "dualMono", 2, "24-bit", "48k"},
    {"Dual Mono Guitar.wav", "Dual Mono", "dualMono", 2, "24-bit", "48k"},
    {"Empty Take.wav", "No Audio Content", "noAudio", 2, "24-bit", "48k"},
    {"Mono Kick.wav", "Already Mono", "mono", 1, "24-bit", "48k"},
    {"Overheads.wav", "Dual Mono", "dualMono", 2, "24-bit", "48k"},
    {"Panned Vocal.wav", "Mono Panned 69% L", "pannedMono", 2, "24-bit", "48k"},
    {"Phase Inverted Bass.wav", "Phase Inverted", "phaseInverted", 2, "24-bit", "48k"},
    {"Podcast Dual Mono.mp3", "Dual Mono", "dualMono", 2, "Compressed", "44.1k"},
    {"Silent Left Keys.aif", "Silent Left Channel", "silentLeft", 2, "16-bit", "44.1k"},
    {"Silent Right Pad.wav", "Silent Right Channel", "silentRight", 2, "16-bit", "44.1k"},
    {"Surround Mix.wav", "Multichannel (6ch) - 1 silent ch, 1 duplicate ch", "multichannel", 6, "24-bit", "48k"},
    {"True Stereo Ambience.wav", "True Stereo", "trueStereo", 2, "24-bit", "48k"},
    {"Voice Memo.m4a", "Dual Mono", "dualMono", 2, "Compressed", "44.1k"},
};

// One demo library, written into folders that do not exist yet (the last
// one's name starts with a dash), scanned once as JSON and once as text.
class CliScanTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        cli = std::make_unique<Cli>();
        root = std::make_unique<TempDir>();
        cli->writeDemo(library());
        json = cli->scanJson({library().string()});
        text = cli->run({"scan", library().string()});
    }
    static void TearDownTestSuite() {
        cli.reset();
        root.reset();
    }
    static fs::path library() { return *root / "made" / "-lib"; }

    static inline std::unique_ptr<Cli> cli;
    static inline std::unique_ptr<TempDir> root;
    static inline QJsonObject json;
    static inline CliRun text;
};

// The JSON document carries the same verdicts as the table, under stable
// identifiers, with the file's own sizes.
TEST_F(CliScanTest, JsonNamesEveryVerdictAndSize) {
    EXPECT_EQ(entryCount(library()), 14u);
    for (const Expected& e : kDemo) {
        SCOPED_TRACE(e.filename);
        const QJsonObject r = resultNamed(json, e.filename);
        EXPECT_EQ(r["statusText"].toString().toStdString(), e.status);
        EXPECT_EQ(r["status"].toString().toStdString(), e.statusID);
        EXPECT_EQ(r["channelCount"].toInt(), e.channels);
        EXPECT_EQ(r["bitDepth"].toInt(), std::string(e.bitDepth) == "Compressed" ? 24 : std::stoi(e.bitDepth));
        const std::string extension = fs::path(e.filename).extension().string();
        EXPECT_EQ(r["format"].toString().toStdString(), extension == ".mp3"   ? "mp3"
                                                        : extension == ".m4a" ? "aac"
                                                                              : "pcm");
        EXPECT_NEAR(r["duration"].toDouble(), 3.0, 0.01);
        qint64 onDisk = qint64(fs::file_size(r["path"].toString().toStdString()));
        if (!r["pairedPath"].isNull()) onDisk += qint64(fs::file_size(r["pairedPath"].toString().toStdString()));
        EXPECT_EQ(r["fileSize"].toInteger(), onDisk);
    }
}

TEST_F(CliScanTest, JsonDetailsOfPannedMonoSplitPairAndMultichannel) {
    const QJsonObject panned = resultNamed(json, "Panned Vocal.wav");
    EXPECT_EQ(panned["pannedMonoLouderChannel"].toString(), "Left Channel");
    EXPECT_EQ(panned["pannedMonoLouderSide"].toString(), "left");
    EXPECT_EQ(panned["pannedMonoPanPercent"].toInt(), 69);
    EXPECT_TRUE(resultNamed(json, "Dual Mono Guitar.wav")["pannedMonoPanPercent"].isNull());
    EXPECT_FALSE(panned["differs"].toBool());  // a true pan: nothing but rounding left over
    EXPECT_TRUE(panned["panResidualdB"].isNull() || panned["panResidualdB"].toDouble() < -40);

    const QJsonObject pair = resultNamed(json, "Overheads.wav");
    EXPECT_EQ(pair["path"].toString().toStdString(), (library() / "Overheads.L.wav").string());
    EXPECT_EQ(pair["pairedPath"].toString().toStdString(), (library() / "Overheads.R.wav").string());

    const QJsonObject analysis = resultNamed(json, "Surround Mix.wav")["multichannelAnalysis"].toObject();
    EXPECT_EQ(analysis["summaryText"].toString(), "Multichannel (6ch) - 1 silent ch, 1 duplicate ch");
    EXPECT_EQ(analysis["removableChannelIndices"].toArray(), (QJsonArray{3, 5}));
    const QJsonArray channels = analysis["channels"].toArray();
    ASSERT_EQ(channels.size(), 6);
    QStringList described;
    for (const QJsonValue& c : channels)
        described << QString("%1 %2 %3%4")
                         .arg(c["channelIndex"].toInt())
                         .arg(c["channelLabel"].toString(), c["channel"].toString(),
                              c["isSilent"].toBool() ? " silent" : "");
    EXPECT_EQ(described, (QStringList{"0 L left", "1 R right", "2 C center", "3 LFE lfe silent", "4 Ls leftSurround",
                                      "5 Rs rightSurround"}));
    // A silent channel's peak is minus infinity, which JSON writes as null.
    EXPECT_TRUE(channels[3]["peakdBFS"].isNull());
    EXPECT_LT(channels[0]["peakdBFS"].toDouble(), 0.0);
    EXPECT_EQ(channels[4]["identicalToChannels"].toArray(), QJsonArray{5});
    EXPECT_EQ(channels[5]["identicalToChannels"].toArray(), QJsonArray{4});
}

TEST_F(CliScanTest, JsonHasExactlyTheDocumentedMembersAndSummary) {
    EXPECT_EQ(json.keys(), (QStringList{"errors", "results", "schemaVersion", "summary"}));
    EXPECT_EQ(json["schemaVersion"].toInt(), 1);
    EXPECT_EQ(json["errors"].toArray(), QJsonArray());
    const QStringList members =
        QString(
            "analysisTime bitDepth channelCount duration evidence fileExtension fileSize filename format isBackup "
            "isConvertible isDualMono isPannedMono isPhaseInverted multichannelAnalysis pairedPath "
            "pannedMonoLouderChannel pannedMonoLouderSide pannedMonoPanPercent path potentialSavings sampleRate "
            "silentChannel sourceFormatID status statusText")
            .split(' ');
    QStringList pannedMembers = members + QStringList{"differs", "panResidualdB"};
    pannedMembers.sort();
    qint64 convertibleSavings = 0;
    for (const QJsonValue& r : json["results"].toArray()) {
        EXPECT_EQ(r.toObject().keys(), r["isPannedMono"].toBool() ? pannedMembers : members)
            << r["filename"].toString().toStdString();
        EXPECT_FALSE(r["isBackup"].toBool());
        if (r["isConvertible"].toBool()) convertibleSavings += r["potentialSavings"].toInteger();
    }
    // 14 files: the split pair counts once.
    QJsonObject summary = QJsonDocument::fromJson(R"({"totalFiles": 13, "unreadable": 0, "dualMono": 5,
        "pannedMono": 1, "phaseInverted": 1, "silentChannel": 2, "noAudio": 1, "multichannel": 1, "trueStereo": 1})")
                              .object();
    summary["totalPotentialSavings"] = convertibleSavings;
    EXPECT_EQ(json["summary"].toObject(), summary);
}

TEST_F(CliScanTest, TextTableShowsTheWindowsTexts) {
    ASSERT_EQ(text.exitCode, 0) << text.err;
    const std::vector<std::string> out = lines(text.out);
    ASSERT_GT(out.size(), std::size(kDemo));
    EXPECT_EQ(cells(out[0]), (std::vector<std::string>{"Filename", "Channels", "Bit Depth", "Sample Rate", "Duration",
                                                       "Size", "Status"}));
    for (std::size_t i = 0; i < std::size(kDemo); ++i) {
        const Expected& e = kDemo[i];
        const std::vector<std::string> row = cells(out[i + 1]);
        ASSERT_EQ(row.size(), 7u) << out[i + 1];
        EXPECT_EQ(row, (std::vector<std::string>{e.filename, std::to_string(e.channels) + "ch", e.bitDepth,
                                                 e.sampleRate, "0:03", row[5], e.status}));
        EXPECT_THAT(row[5], MatchesRegex("[0-9]+(\\.[0-9])? (kB|MB)"));
    }
    EXPECT_THAT(out, Contains(MatchesRegex(" *Surround Mix.wav: Channel Details, 2 removable channels")));
    EXPECT_THAT(out, Contains(MatchesRegex(" *Ch 4  +LFE  +Silent  +Silent")));
    EXPECT_THAT(out, Contains(MatchesRegex(" *Ch 6  +Rs  +.*  +Dup of 5")));
    for (const char* line : {"Total Files: 13", "Dual Mono: 6", "Multichannel: 1"}) EXPECT_THAT(out, Contains(line));
    EXPECT_THAT(out, Contains(MatchesRegex("Potential Savings: [0-9.]+ MB")));
}

TEST_F(CliScanTest, ThresholdAppliesToThisRunOnly) {
    // Nothing rises above full scale, so at 0 dBFS every channel counts as silent.
    const QJsonObject loud = cli->scanJson({"--threshold", "0", library().string()});
    EXPECT_EQ(resultNamed(loud, "True Stereo Ambience.wav")["statusText"].toString(), "No Audio Content");
    EXPECT_EQ(resultNamed(loud, "Dual Mono Guitar.wav")["silentChannel"].toString(), "both");
    EXPECT_FALSE(fs::exists(cli->settingsFile()));
    const QJsonObject normal = cli->scanJson({library().string()});
    EXPECT_EQ(resultNamed(normal, "True Stereo Ambience.wav")["statusText"].toString(), "True Stereo");
}

TEST_F(CliScanTest, FilesAndFoldersAreTakenLikeDroppedItems) {
    // A file named twice, once through a detour, and the folder that holds it
    // (relative, after "--"): each file analysed once, under its absolute path.
    const QJsonObject document = cli->scanJson({"--", (library() / "Dual Mono Guitar.wav").string(),
                                                (library() / ".." / "-lib" / "Dual Mono Guitar.wav").string(), "-lib/"},
                                               *root / "made");
    EXPECT_EQ(document["summary"]["totalFiles"].toInt(), 13);
    EXPECT_EQ(resultNamed(document, "Mono Kick.wav")["path"].toString().toStdString(),
              (library() / "Mono Kick.wav").string());

    std::ofstream(*root / "notes.txt") << "not audio";
    const CliRun none = cli->run({"scan", (*root / "notes.txt").string(), (*root / "missing.wav").string()});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_THAT(none.err,
                HasSubstr("No supported audio files found. Twinfold supports WAV, AIFF, MP3, and M4A files."));
    EXPECT_EQ(none.out, "");
}

// A name may hold any byte but "/": on the terminal its control characters
// are escaped, in JSON a name that is not UTF-8 keeps its bytes in pathBytes.
TEST_F(CliScanTest, NamesAreShownSafelyAndKeptByteForByte) {
    const TempDir dir;
    const std::string escape = "Take \033[31mred.wav", latin1 = "Caf\xe9.wav";
    for (const std::string& name : {escape, latin1}) fs::copy_file(library() / "Dual Mono Guitar.wav", dir / name);
    const CliRun text = cli->run({"scan", dir.path().string()});
    EXPECT_EQ(text.exitCode, 0) << text.err;
    EXPECT_THAT(text.out, HasSubstr("Take \\033[31mred.wav"));
    EXPECT_THAT(text.out, Not(HasSubstr("\033")));
    const QJsonObject json = cli->scanJson({dir.path().string()});
    for (const QJsonValue& r : json["results"].toArray()) {
        const std::string path = r["path"].toString().toStdString();
        if (r["pathBytes"].isUndefined()) {
            EXPECT_EQ(path, (dir / escape).string());
        } else {
            const QByteArray bytes = QByteArray::fromBase64(r["pathBytes"].toString().toLatin1());
            EXPECT_EQ(bytes.toStdString(), (dir / latin1).string());
        }
    }
    EXPECT_EQ(json["results"].toArray().size(), 2);
}

// --exclude matches a file's name, or its path (or a folder's) below the
// named folder; '*' also crosses '/'.
TEST_F(CliScanTest, ExcludedFilesAreLeftOut) {
    const TempDir dir;
    for (const char* name : {"Stems/Day 2/Kick.wav", "Stems/Snare.wav", "Mix.wav"}) {
        fs::create_directories((dir / name).parent_path());
        fs::copy_file(library() / "Dual Mono Guitar.wav", dir / name);
    }
    const struct {
        std::vector<std::string> globs;
        int files;
    } rows[] = {{{}, 3},       {{"Stems"}, 1}, {{"*/Day 2"}, 2}, {{"Stems/*.wav"}, 1}, {{"Kick.wav", "M*"}, 1},
                {{"*.wav"}, 0}};
    for (const auto& row : rows) {
        std::vector<std::string> arguments;
        for (const std::string& glob : row.globs) arguments.insert(arguments.end(), {"--exclude", glob});
        arguments.push_back(dir.path().string());
        const QJsonObject document = cli->scanJson(arguments);
        EXPECT_EQ(document["summary"]["totalFiles"].toInt(), row.files) << testing::PrintToString(row.globs);
    }
}

// `show` explains each verdict in words and in JSON, and writes the
// difference of a pair as a file, never over one.
TEST_F(CliScanTest, ShowExplainsEachVerdictAndWritesTheDifference) {
    std::vector<std::string> arguments{"show"};
    for (const char* name : {"Dual Mono Guitar.wav", "Phase Inverted Bass.wav", "Silent Right Pad.wav"})
        arguments.push_back((library() / name).string());
    const CliRun text = cli->run(arguments);
    EXPECT_EQ(text.exitCode, 0) << text.err;
    for (const char* part : {"Dual Mono Guitar.wav: Dual Mono", "Left and right are bit-identical", "Left: peak ",
                             "first differing frame none", "Left + right is silent everywhere: phase-inverted",
                             "Right never rises above \u221296.0 dBFS"})
        EXPECT_THAT(text.out, HasSubstr(part));
    arguments.push_back("--json");
    const CliRun shown = cli->run(arguments);
    EXPECT_EQ(shown.exitCode, 0) << shown.err;
    const QJsonArray results = QJsonDocument::fromJson(QByteArray::fromStdString(shown.out))["results"].toArray();
    ASSERT_EQ(results.size(), 3);
    EXPECT_TRUE(results[0]["evidence"]["pair"]["firstDifferingFrame"].isNull());
    EXPECT_TRUE(results[0]["evidence"]["pair"]["maxDifferencedBFS"].isNull());  // no difference at all
    EXPECT_EQ(results[1]["sentences"][0].toString(), "Left + right is silent everywhere: phase-inverted");
    EXPECT_TRUE(results[2]["evidence"]["channels"][1]["silent"].toBool());
    EXPECT_EQ(resultNamed(json, "Dual Mono Guitar.wav")["evidence"].toObject()["channels"].toArray().size(), 2);

    const TempDir out;
    for (const int exitCode : {0, 1}) {
        const CliRun difference = cli->run({"show", arguments[2], "--difference", (out / "sum.wav").string()});
        EXPECT_EQ(difference.exitCode, exitCode) << difference.err;
    }
    const auto sum = readFloats(out / "sum.wav");
    ASSERT_EQ(sum.size(), 1u);
    EXPECT_EQ(sum[0], std::vector<float>(std::size_t(pcmFileInfo(arguments[2]).frames), 0.0f));
}

// One JSON line per file as it is analysed, and paths from a list.
TEST_F(CliScanTest, JsonLinesGiveOneObjectPerFileAndListsAddPaths) {
    std::ofstream(*root / "notes.wav") << "not audio";
    std::ofstream(*root / "list.txt") << (library() / "Mono Kick.wav").string() << "\n\n"
                                      << (*root / "notes.wav").string() << "\n";
    const CliRun listed = cli->run({"scan", "--jsonl", "--no-cache", "--files-from", (*root / "list.txt").string()});
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    int objects = 0, errors = 0;
    for (const std::string& line : lines(listed.out)) {
        if (line.empty()) continue;
        QJsonParseError error;
        const QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error).object();
        EXPECT_EQ(error.error, QJsonParseError::NoError) << line;
        EXPECT_EQ(object["schemaVersion"].toInt(), 1) << line;
        ++objects;
        errors += object.contains("error");
    }
    EXPECT_EQ(objects, 2) << listed.out;
    EXPECT_EQ(errors, 1);
    const CliRun all = cli->run({"scan", "--jsonl", "--jobs", "3", library().string()});
    EXPECT_EQ(all.exitCode, 0) << all.err;
    EXPECT_EQ(std::count(all.out.begin(), all.out.end(), '\n'), 13) << all.out;
}

// Every problem a scan meets is shown, and none of them fails the scan:
// files that cannot be read, files named as a pair that are none, and a
// "pan" that is really a mix.
TEST(CliScanProblems, UnreadableFilesPairingNotesAndDifferingPansAreShown) {
    TempDir dir;
    writePanMix(dir / "Mix.wav");
    const PcmFormat format{PcmContainer::wav, PcmEncoding::int16, 48000};
    writeSplitPair(dir.path(), "Solo", ".wav", format, noise(3000, format.encoding, 1),
                   noise(2999, format.encoding, 2));
    const struct {
        const char* name;
        std::string bytes;
    } unreadable[] = {{"Notes.wav", "just some text, not audio\n"},
                      {"Cut.wav", fileText(dir / "Mix.wav").substr(0, 30)}};
    for (const auto& u : unreadable) std::ofstream(dir / u.name, std::ios::binary) << u.bytes;

    const Cli cli;
    const QJsonObject json = cli.scanJson({dir.path().string()});
    const QJsonArray errors = json["errors"].toArray();
    ASSERT_EQ(errors.size(), 2);
    for (const auto& u : unreadable) {
        const auto error = std::find_if(errors.begin(), errors.end(), [&](const QJsonValue& e) {
            return e["path"].toString().toStdString() == (dir / u.name).string();
        });
        ASSERT_NE(error, errors.end()) << u.name;
        EXPECT_FALSE((*error).toObject()["reason"].toString().isEmpty()) << u.name;
    }
    EXPECT_EQ(json["summary"]["unreadable"].toInt(), 2);
    EXPECT_EQ(json["summary"]["totalFiles"].toInt(), 5);
    const QJsonObject mix = resultNamed(json, "Mix.wav");
    EXPECT_EQ(mix["statusText"].toString(), "Mono Panned 29% L");
    EXPECT_TRUE(mix["differs"].toBool());
    EXPECT_NEAR(mix["panResidualdB"].toDouble(), -17.89, 0.05);
    EXPECT_THAT(resultNamed(json, "Solo.L.wav")["pairingNote"].toString().toStdString(), HasSubstr("Not paired"));

    const CliRun text = cli.run({"scan", dir.path().string()});
    EXPECT_EQ(text.exitCode, 0) << text.err;
    for (const auto& u : unreadable) {
        EXPECT_THAT(text.err, HasSubstr("skipped " + (dir / u.name).string() + ": "));
        EXPECT_THAT(text.out, Not(HasSubstr(u.name)));
    }
    EXPECT_THAT(text.err, HasSubstr("note: " + (dir / "Solo.R.wav").string() + ": Not paired"));
    EXPECT_THAT(text.out, HasSubstr("Mono Panned 29% L, differs by -18 dB\n"));
    EXPECT_THAT(lines(text.out), Contains("Unreadable: 2"));
}

}  // namespace
}  // namespace twinfold::test
