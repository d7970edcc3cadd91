// twinfold-cli scan and demo, end to end: every file of the demo library is
// classified as its name says, in JSON and in the text table. Then the
// command line's usage errors and help, and the analysis cache.
#include "CliRunner.h"

#include <QStandardPaths>

#include <fstream>
#include <thread>

namespace twinfold::test {
namespace {

// In the order of the text table: sorted by file name. The file, its status
// as displayed and the stable identifier a script reads beside it, its
// channels, and its bit depth and sample rate as the table shows them.
const std::tuple<const char*, const char*, const char*, int, const char*, const char*> kDemo[] = {
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
    static void TearDownTestSuite() { cli.reset(), root.reset(); }
    static fs::path library() { return *root / "made" / "-lib"; }

    static inline std::unique_ptr<Cli> cli;
    static inline std::unique_ptr<TempDir> root;
    static inline QJsonObject json;
    static inline CliRun text;
};

// The table shows the window's texts; the JSON document carries the same
// verdicts under stable identifiers, with the files' own sizes.
TEST_F(CliScanTest, TableAndJsonGiveEveryVerdict) {
    ASSERT_EQ(text.exitCode, 0) << text.err;
    EXPECT_EQ(fileTree(library()).size(), 14u);
    const std::vector<std::string> out = lines(text.out);
    ASSERT_GT(out.size(), std::size(kDemo));
    for (std::size_t i = 0; i < std::size(kDemo); ++i) {
        const auto& [filename, status, statusID, channels, bitDepth, sampleRate] = kDemo[i];
        SCOPED_TRACE(filename);
        const std::vector<std::string> row = cells(out[i + 1]);
        ASSERT_EQ(row.size(), 7u) << out[i + 1];
        EXPECT_EQ(row, (std::vector<std::string>{filename, std::to_string(channels) + "ch", bitDepth, sampleRate,
                                                 "0:03", row[5], status}));
        const QJsonObject r = resultNamed(json, filename);
        const std::string extension = fs::path(filename).extension().string();
        const int bits = std::string(bitDepth) == "Compressed" ? 24 : std::stoi(bitDepth);
        const char* format = extension == ".mp3" ? "mp3" : extension == ".m4a" ? "aac" : "pcm";
        EXPECT_EQ(QString("%1 %2 %3 %4 %5")
                      .arg(r["statusText"].toString(), r["status"].toString())
                      .arg(r["channelCount"].toInt())
                      .arg(r["bitDepth"].toInt())
                      .arg(r["format"].toString()),
                  QString("%1 %2 %3 %4 %5").arg(status, statusID).arg(channels).arg(bits).arg(format));
        EXPECT_NEAR(r["duration"].toDouble(), 3.0, 0.01);
        qint64 onDisk = qint64(fs::file_size(r["path"].toString().toStdString()));
        if (!r["pairedPath"].isNull()) onDisk += qint64(fs::file_size(r["pairedPath"].toString().toStdString()));
        EXPECT_EQ(r["fileSize"].toInteger(), onDisk);
    }
}

TEST_F(CliScanTest, JsonDetailsOfPannedMonoSplitPairAndMultichannel) {
    const QJsonObject panned = resultNamed(json, "Panned Vocal.wav");
    EXPECT_EQ(QStringList({panned["pannedMonoLouderChannel"].toString(), panned["pannedMonoLouderSide"].toString(),
                           QString::number(panned["pannedMonoPanPercent"].toInt())}),
              QStringList({"Left Channel", "left", "69"}));
    EXPECT_TRUE(resultNamed(json, "Dual Mono Guitar.wav")["pannedMonoPanPercent"].isNull());
    EXPECT_FALSE(panned["differs"].toBool());  // a true pan: nothing but rounding left over
    EXPECT_TRUE(panned["panResidualdB"].isNull() || panned["panResidualdB"].toDouble() < -40);
    const QJsonObject pair = resultNamed(json, "Overheads.wav");
    EXPECT_EQ(pair["path"].toString().toStdString() + " " + pair["pairedPath"].toString().toStdString(),
              (library() / "Overheads.L.wav").string() + " " + (library() / "Overheads.R.wav").string());

    const QJsonObject analysis = resultNamed(json, "Surround Mix.wav")["multichannelAnalysis"].toObject();
    EXPECT_EQ(analysis["summaryText"].toString(), "Multichannel (6ch) - 1 silent ch, 1 duplicate ch");
    EXPECT_EQ(analysis["removableChannelIndices"].toArray(), (QJsonArray{3, 5}));
    QStringList described;
    // A silent channel's peak is minus infinity, which JSON writes as null.
    for (const QJsonValue& c : analysis["channels"].toArray())
        described << QString("%1 %2 %3%4 peak %5 same as %6")
                         .arg(c["channelIndex"].toInt())
                         .arg(c["channelLabel"].toString(), c["channel"].toString(),
                              c["isSilent"].toBool() ? " silent" : "",
                              c["peakdBFS"].isNull()         ? "null"
                              : c["peakdBFS"].toDouble() < 0 ? "<0"
                                                             : ">=0",
                              QJsonDocument(c["identicalToChannels"].toArray()).toJson(QJsonDocument::Compact));
    EXPECT_EQ(described,
              (QStringList{"0 L left peak <0 same as []", "1 R right peak <0 same as []",
                           "2 C center peak <0 same as []", "3 LFE lfe silent peak null same as []",
                           "4 Ls leftSurround peak <0 same as [5]", "5 Rs rightSurround peak <0 same as [4]"}));
}

TEST_F(CliScanTest, JsonHasExactlyTheDocumentedMembersAndSummary) {
    EXPECT_EQ(json.keys(), (QStringList{"errors", "results", "schemaVersion", "summary"}));
    EXPECT_EQ(std::pair(json["schemaVersion"].toInt(), json["errors"].toArray().size()), std::pair(1, qsizetype(0)));
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

TEST_F(CliScanTest, ThresholdAppliesToThisRunOnly) {
    // Nothing rises above full scale, so at 0 dBFS every channel counts as silent.
    const QJsonObject loud = cli->scanJson({"--threshold", "0", library().string()});
    EXPECT_EQ(std::tuple(resultNamed(loud, "True Stereo Ambience.wav")["statusText"].toString(),
                         resultNamed(loud, "Dual Mono Guitar.wav")["silentChannel"].toString(),
                         fs::exists(cli->settingsFile())),
              std::tuple(QString("No Audio Content"), QString("both"), false));
    const QJsonObject normal = cli->scanJson({library().string()});
    EXPECT_EQ(resultNamed(normal, "True Stereo Ambience.wav")["statusText"].toString(), "True Stereo");
}

TEST_F(CliScanTest, FilesAndFoldersAreTakenLikeDroppedItems) {
    // A folder named relative to the working folder, after "--": its files under their absolute paths.
    const QJsonObject document = cli->scanJson({"--", "-lib/"}, *root / "made");
    EXPECT_EQ(resultNamed(document, "Mono Kick.wav")["path"].toString().toStdString(),
              (library() / "Mono Kick.wav").string());

    std::ofstream(*root / "notes.txt") << "not audio";
    const CliRun none = cli->run({"scan", (*root / "notes.txt").string(), (*root / "missing.wav").string()});
    EXPECT_EQ(std::pair(none.exitCode, none.out), std::pair(1, std::string()));
    EXPECT_THAT(none.err, HasSubstr("No supported audio files found."));
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
    std::set<std::string> paths;
    for (const QJsonValue& r : cli->scanJson({dir.path().string()})["results"].toArray()) {
        paths.insert(r["pathBytes"].isUndefined()
                         ? r["path"].toString().toStdString()
                         : QByteArray::fromBase64(r["pathBytes"].toString().toLatin1()).toStdString());
    }
    EXPECT_EQ(paths, (std::set<std::string>{(dir / escape).string(), (dir / latin1).string()}));
}

// --exclude matches a file's name, or its path (or a folder's) below the
// named folder; '*' also crosses '/'.
TEST_F(CliScanTest, ExcludedFilesAreLeftOut) {
    const TempDir dir;
    for (const char* name : {"Stems/Day 2/Kick.wav", "Stems/Snare.wav", "Mix.wav"}) {
        fs::create_directories((dir / name).parent_path());
        fs::copy_file(library() / "Dual Mono Guitar.wav", dir / name);
    }
    const std::pair<std::vector<std::string>, int> rows[] = {
        {{}, 3}, {{"Stems"}, 1}, {{"*/Day 2"}, 2}, {{"Stems/*.wav"}, 1}, {{"Kick.wav", "M*"}, 1}, {{"*.wav"}, 0}};
    for (const auto& [globs, files] : rows) {
        std::vector<std::string> arguments;
        for (const std::string& glob : globs) arguments.insert(arguments.end(), {"--exclude", glob});
        arguments.push_back(dir.path().string());
        const QJsonObject document = cli->scanJson(arguments);
        EXPECT_EQ(document["summary"]["totalFiles"].toInt(), files) << testing::PrintToString(globs);
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
    EXPECT_THAT(text.out, HasSubstr("Dual Mono Guitar.wav: Dual Mono"));
    arguments.push_back("--json");
    const CliRun shown = cli->run(arguments);
    EXPECT_EQ(shown.exitCode, 0) << shown.err;
    const QJsonArray results = QJsonDocument::fromJson(QByteArray::fromStdString(shown.out))["results"].toArray();
    ASSERT_EQ(results.size(), 3);
    const QJsonValue pair = results[0]["evidence"]["pair"];
    EXPECT_TRUE(pair["firstDifferingFrame"].isNull() && pair["maxDifferencedBFS"].isNull());  // no difference at all
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
    std::multiset<std::string> objects;  // a line that is no object of this schema counts as itself
    for (const std::string& line : lines(listed.out)) {
        const QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        if (!line.empty())
            objects.insert(object["schemaVersion"] != 1 ? line : object.contains("error") ? "error" : "file");
    }
    EXPECT_EQ(objects, (std::multiset<std::string>{"error", "file"})) << listed.out;
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
    const std::pair<const char*, std::string> unreadable[] = {{"Notes.wav", "just some text, not audio\n"},
                                                              {"Cut.wav", fileText(dir / "Mix.wav").substr(0, 30)}};
    for (const auto& [name, bytes] : unreadable) std::ofstream(dir / name, std::ios::binary) << bytes;

    const Cli cli;
    const QJsonObject json = cli.scanJson({dir.path().string()});
    std::multiset<std::string> explained;  // the unreadable files, each with its reason
    for (const QJsonValue& e : json["errors"].toArray())
        if (!e["reason"].toString().isEmpty()) explained.insert(e["path"].toString().toStdString());
    EXPECT_EQ(explained, (std::multiset<std::string>{(dir / "Cut.wav").string(), (dir / "Notes.wav").string()}));
    EXPECT_EQ(std::pair(json["summary"]["unreadable"].toInt(), json["summary"]["totalFiles"].toInt()), std::pair(2, 5));
    const QJsonObject mix = resultNamed(json, "Mix.wav");
    EXPECT_TRUE(mix["differs"].toBool());
    EXPECT_NEAR(mix["panResidualdB"].toDouble(), -17.89, 0.05);
    EXPECT_THAT(resultNamed(json, "Solo.L.wav")["pairingNote"].toString().toStdString(), HasSubstr("Not paired"));

    const CliRun text = cli.run({"scan", dir.path().string()});
    EXPECT_EQ(text.exitCode, 0) << text.err;
    for (const auto& [name, bytes] : unreadable) {
        EXPECT_THAT(text.err, HasSubstr("skipped " + (dir / name).string() + ": "));
        EXPECT_THAT(text.out, Not(HasSubstr(name)));
    }
    EXPECT_THAT(text.err, HasSubstr("note: " + (dir / "Solo.R.wav").string() + ": Not paired"));
    EXPECT_THAT(text.out, HasSubstr("Mono Panned 29% L, differs by -18 dB\n"));
}

// twinfold-cli's command line: usage errors exit with 2 and point to the
// help; every command has its help.

// A command line as typed, split at blanks.
std::vector<std::string> words(const QString& line) {
    std::vector<std::string> out;
    for (const QString& word : line.split(' ', Qt::SkipEmptyParts)) out.push_back(word.toStdString());
    return out;
}

TEST(CliUsageError, ExitsWithTwoAndNamesTheHelp) {
    // The command lines, parted by ';' (the first is empty).
    const QString usageErrors =
        ";rescan x;scan;scan --json;scan --threshold;scan --threshold loud x;scan --threshold -inf x;"
        "scan --verbose x;scan --json=yes x;convert;convert --originals trash x;convert --phase middle x;"
        "convert --multichannel keep x;convert --normalize 3 x;convert --suffix ../elsewhere x;"
        "convert --suffix;convert --include-differing=yes x;convert --log;convert --no-normalize=-3 x;"
        "scan --exclude;scan --jobs 0 x;restore;restore a b;restore --dry-run a;help rescan;"
        "help scan convert;demo;demo a b;show;show --difference d.wav a b";
    for (const QString& line : usageErrors.split(';')) {
        const CliRun r = Cli().run(words(line));
        EXPECT_TRUE(r.exitCode == 2 && r.out.empty() && r.err.starts_with("twinfold-cli: ") &&
                    r.err.find("--help") != std::string::npos)
            << line.toStdString() << ": exit " << r.exitCode << ", out " << r.out << ", err " << r.err;
    }
}

// Help succeeds on standard output; "help scan" is "scan --help".
TEST(CliHelp, PrintsTheCommandsUsageAndSucceeds) {
    const CliRun r = Cli().run({"help", "scan"});
    EXPECT_EQ(std::tuple(r.exitCode, r.out.substr(0, 25), r.err), std::tuple(0, "Usage: twinfold-cli scan ", ""));
}

// Which audio files a command opens, watched from outside with strace.
// The cache is the command line's to switch on: a second scan of a folder
// nothing changed in answers from it and opens no audio file. The files are
// given time to settle (a file changed within the same clock tick as its
// stamp is not cached). A conversion reads no file but its own: the command
// ends with it, so the folder is not scanned again.
TEST(CliLibrary, ASecondScanOfAnUnchangedFolderOpensNoAudio) {
    const QString strace = QStandardPaths::findExecutable("strace");
    if (strace.isEmpty()) GTEST_SKIP() << "strace is not installed";
    const Cli cli;
    const TempDir dir;
    for (const char* name : {"take.wav", "other.wav"}) {
        writePcm(dir / name, {PcmContainer::wav, PcmEncoding::int16, 48000},
                 stereo(StereoKind::dualMono, 4800, PcmEncoding::int16, 1));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(3200));
    const QString folder = QString::fromStdString(dir.path().string());
    ASSERT_EQ(cli.run({"scan", dir.path().string()}).exitCode, 0);
    const auto opens = [&](QStringList arguments, const QString& name) {
        QProcess process;
        process.setProcessEnvironment(cli.environment());
        process.start(strace, QStringList{"-f", "-e", "trace=openat", TWINFOLD_CLI_PATH} + arguments);
        process.waitForFinished(120000);
        return QString(process.readAllStandardError()).count(name + "\"");
    };
    EXPECT_EQ(opens({"scan", folder}, "take.wav"), 0);
    EXPECT_GT(opens({"scan", "--no-cache", folder}, "take.wav"), 0);
    EXPECT_EQ(opens({"convert", "--yes", "--originals", "keep", "--no-cache", folder + "/take.wav"}, "other.wav"), 0);
    EXPECT_TRUE(fs::exists(dir / "take_mono.wav"));  // the conversion did run
}

}  // namespace
}  // namespace twinfold::test
