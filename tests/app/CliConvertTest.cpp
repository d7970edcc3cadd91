// twinfold-cli convert, end to end on the demo library: outputs compared
// sample for sample with their source channels through libsndfile, the
// originals' fate, refusals and failures, and the stored settings left alone.
#include "CliRunner.h"
#include "workflow/SettingsStore.h"

#include <sndfile.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <tuple>

namespace twinfold::test {
namespace {

// Output `output` holds, as its channel k, channel sourceChannels[k] of `source`, bit for bit.
void expectChannelCopy(const fs::path& output, const fs::path& source, const std::vector<int>& sourceChannels) {
    SCOPED_TRACE(output.filename().string());
    ASSERT_TRUE(fs::exists(output));
    const PcmFileInfo out = pcmFileInfo(output), in = pcmFileInfo(source);
    EXPECT_EQ(std::tuple(out.channels, out.sampleRate, out.frames, out.format & SF_FORMAT_SUBMASK),
              std::tuple(int(sourceChannels.size()), in.sampleRate, in.frames, in.format & SF_FORMAT_SUBMASK));
    const auto outSamples = readStoredInts(output), inSamples = readStoredInts(source);
    for (std::size_t k = 0; k < sourceChannels.size(); ++k)
        EXPECT_TRUE(outSamples[k] == inSamples[std::size_t(sourceChannels[k])]) << "channel " << k;
}

std::vector<fs::path> backupFolders(const fs::path& dir) {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().filename().string().starts_with("Twinfold Backup ")) found.push_back(entry);
    return found;
}

// Stores `settings` where the program will find them.
void store(const Cli& cli, const AppSettings& settings) {
    fs::create_directories(cli.settingsFile().parent_path());
    setSettingsStoreFile(QString::fromStdString(cli.settingsFile().string()));
    saveAppSettings(settings);
    setSettingsStoreFile({});
}

// Every test but the interrupted one converts a fresh demo library.
class CliConvert : public testing::Test {
protected:
    void SetUp() override { cli.writeDemo(dir.path()); }

    Cli cli;
    TempDir dir;
};

// A dry run plans and changes nothing; --yes converts, reports in JSON and
// logs what it did; a second run leaves the backed-up originals alone unless
// their folder is named.
TEST_F(CliConvert, YesConvertsEveryConvertibleFileBitExactAndBacksUpTheOriginals) {
    const auto before = fileTree(dir.path());
    // Nothing is stored yet: the plan says the settings are the built-in ones.
    const CliRun dry = cli.run({"convert", "--json", "--dry-run", dir.path().string()});
    EXPECT_EQ(dry.exitCode, 0) << dry.err;
    EXPECT_EQ(changedNames(fileTree(dir.path()), before), std::vector<std::string>{});
    const QJsonObject plan = QJsonDocument::fromJson(QByteArray::fromStdString(dry.out)).object();
    EXPECT_EQ(std::tuple(plan["schemaVersion"].toInt(), plan["dryRun"].toBool(), plan["outcome"].isNull(),
                         plan["plan"]["items"].toArray().size()),
              std::tuple(1, true, true, 10));
    EXPECT_EQ(plan["plan"]["settings"]["suffix"].toObject(), (QJsonObject{{"value", "_mono"}, {"source", "default"}}));

    const fs::path log = dir / "conversions.log";
    const CliRun r = cli.run({"convert", "--yes", "--json", "--log", log.string(), dir.path().string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;

    const auto backups = backupFolders(dir.path());
    ASSERT_EQ(backups.size(), 1u);
    const fs::path backup = backups.front();
    EXPECT_THAT(backup.filename().string(),
                testing::MatchesRegex("Twinfold Backup [0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}"));
    // Each output holds its source's channels bit for bit; the source is in the backup.
    const std::tuple<std::string, std::string, std::vector<int>> outputs[] = {
        {"Dual Mono Guitar_mono.wav", "Dual Mono Guitar.wav", {0}},
        {"Broadcast Interview_mono.wav", "Broadcast Interview.wav", {0}},
        {"Panned Vocal_mono.wav", "Panned Vocal.wav", {0}},  // the louder side
        {"Phase Inverted Bass_mono.wav", "Phase Inverted Bass.wav", {0}},
        {"Silent Left Keys_mono.aif", "Silent Left Keys.aif", {1}},
        {"Silent Right Pad_mono.wav", "Silent Right Pad.wav", {0}},
        {"Overheads_mono.wav", "Overheads.L.wav", {0}},
        {"Surround Mix_mono_ch1_L.wav", "Surround Mix.wav", {0}},
        {"Surround Mix_mono_ch4_LFE.wav", "Surround Mix.wav", {3}},
        {"Surround Mix_mono_ch6_Rs.wav", "Surround Mix.wav", {5}},
    };
    for (const auto& [output, source, channels] : outputs) {
        EXPECT_FALSE(fs::exists(dir / source)) << source;
        expectChannelCopy(dir / output, backup / source, channels);
    }
    for (const char* moved : {"Overheads.R.wav", "Podcast Dual Mono.mp3", "Voice Memo.m4a"})
        EXPECT_TRUE(fs::exists(backup / moved) && !fs::exists(dir / moved)) << moved;
    for (const char* kept : {"Empty Take.wav", "True Stereo Ambience.wav", "Mono Kick.wav"})
        EXPECT_TRUE(fs::exists(dir / kept) && !fs::exists(backup / kept)) << kept;
    for (const char* lossy : {"Podcast Dual Mono_mono.wav", "Voice Memo_mono.wav"})
        EXPECT_EQ(pcmFileInfo(dir / lossy).channels, 1) << lossy;

    const QJsonObject outcome = QJsonDocument::fromJson(QByteArray::fromStdString(r.out))["outcome"].toObject();
    EXPECT_TRUE(outcome["completed"].toBool() && outcome["problems"].toArray().isEmpty()) << r.out;
    // The split pair's two files are two originals.
    EXPECT_EQ(std::pair(outcome["outputs"].toArray().size(), outcome["originals"].toArray().size()),
              std::pair(qsizetype(15), qsizetype(11)));
    for (const QJsonValue& output : outcome["outputs"].toArray())
        EXPECT_TRUE(fs::exists(output["path"].toString().toStdString()) && !output["sources"].toArray().isEmpty());
    for (const QJsonValue& original : outcome["originals"].toArray())
        EXPECT_TRUE(original["fate"] == "moved" && !fs::exists(original["path"].toString().toStdString()));
    const std::string record = fileText(log);
    EXPECT_THAT(record, HasSubstr("  output " + (dir / "Dual Mono Guitar_mono.wav").string() + " from " +
                                  (dir / "Dual Mono Guitar.wav").string() + "\n"));
    EXPECT_THAT(record, HasSubstr("  original " + (dir / "Overheads.R.wav").string() + ": moved"));

    const auto converted = fileTree(dir.path());
    const CliRun again = cli.run({"convert", "--yes", dir.path().string()});
    EXPECT_EQ(std::pair(again.exitCode, again.out), std::pair(0, std::string("Nothing to convert.\n"))) << again.err;
    EXPECT_THAT(again.err, HasSubstr("inside \"Twinfold Backup\" folders"));
    EXPECT_EQ(changedNames(fileTree(dir.path()), converted), std::vector<std::string>{});
    const CliRun named = cli.run({"convert", "--yes", "--originals", "keep", backup.string()});
    EXPECT_EQ(named.exitCode, 0) << named.err;
    expectChannelCopy(backup / "Dual Mono Guitar_mono.wav", backup / "Dual Mono Guitar.wav", {0});
}

// A "pan" whose quieter side holds content of its own is converted only
// when asked for by name of the option; with --skip-existing an output
// whose name is taken is left out and the rest converted.
TEST_F(CliConvert, OptionsChooseTheTreatmentsAndNames) {
    writePanMix(dir / "Mix.wav");
    std::ofstream(dir / "Dual Mono Guitar_one.wav") << "someone else's file";
    const CliRun r =
        cli.run({"convert", "--yes", "--originals", "keep", "--phase", "split", "--multichannel", "remove",
                 "--suffix=_one", "--pan-in-name", "--include-differing", "--skip-existing", dir.path().string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    expectChannelCopy(dir / "Mix_one_29L.wav", dir / "Mix.wav", {0});
    EXPECT_EQ(fileText(dir / "Dual Mono Guitar_one.wav"), "someone else's file");
    expectChannelCopy(dir / "Broadcast Interview_one.wav", dir / "Broadcast Interview.wav", {0});
    EXPECT_TRUE(backupFolders(dir.path()).empty());
    expectChannelCopy(dir / "Phase Inverted Bass_one_L.wav", dir / "Phase Inverted Bass.wav", {0});
    expectChannelCopy(dir / "Phase Inverted Bass_one_R.wav", dir / "Phase Inverted Bass.wav", {1});
    expectChannelCopy(dir / "Surround Mix_one.wav", dir / "Surround Mix.wav", {0, 1, 2, 4});
    expectChannelCopy(dir / "Panned Vocal_one_69L.wav", dir / "Panned Vocal.wav", {0});
    EXPECT_TRUE(fs::exists(dir / "Overheads.L.wav") && fs::exists(dir / "Overheads.R.wav"));
    EXPECT_FALSE(fs::exists(cli.settingsFile()));
}

// The stored settings are the defaults; --defaults ignores them, and no
// option changes them.
TEST_F(CliConvert, StoredSettingsAreTheDefaultsAndOptionsNeverChangeThem) {
    store(cli, {.namingSuffix = "_stored",
                .originalFileHandling = OriginalFileHandling::leaveInPlace,
                .includePanInFilename = true});
    const std::string before = fileText(cli.settingsFile());
    ASSERT_FALSE(before.empty());
    const std::pair<std::vector<std::string>, const char*> rows[] = {
        {{}, "Panned Vocal_stored_69L.wav"},
        {{"--no-pan-in-name"}, "Panned Vocal_stored.wav"},
        {{"--defaults", "--originals", "keep"}, "Panned Vocal_mono.wav"},
        {{"--defaults", "--pan-in-name", "--originals", "keep"}, "Panned Vocal_mono_69L.wav"},
        {{"--suffix", "_cli", "--originals", "delete", "--normalize", "-1", "--threshold", "-90"},
         "Panned Vocal_cli_69L.wav"}};
    for (const auto& [options, output] : rows) {
        SCOPED_TRACE(output);
        std::vector<std::string> arguments{"convert", "--yes", "--log", (dir / "log").string()};
        arguments.insert(arguments.end(), options.begin(), options.end());
        arguments.push_back((dir / "Panned Vocal.wav").string());
        const CliRun r = cli.run(arguments);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_TRUE(fs::exists(dir / output));
    }
    // Left in place as stored until the option said otherwise.
    EXPECT_FALSE(fs::exists(dir / "Panned Vocal.wav"));
    EXPECT_THAT(fileText(dir / "log"), HasSubstr("  original " + (dir / "Panned Vocal.wav").string() + ": deleted"));
    EXPECT_EQ(fileText(cli.settingsFile()), before);
}

using Args = std::vector<std::string>;

// A run that cannot do all it was asked says why, with its own exit status,
// and writes, moves and deletes nothing. Each row prepares the demo library
// in the folder and returns the arguments; then come the exit status and
// parts of what is printed.
TEST(CliConvertRefusals, ARefusedRunLeavesTheFolderAsItWas) {
    using Prepare = std::function<Args(const Cli&, const fs::path&)>;
    const std::tuple<const char*, Prepare, int, const char*, const char*> rows[] = {
        {"no terminal and no --yes",
         [](const Cli&, const fs::path& d) {
             return Args{"convert", d.string()};
         },
         3, "Files to convert (10):", "--yes"},
        // Every output that cannot be written is listed in the plan.
        {"a name is taken",
         [](const Cli&, const fs::path& d) {
             std::ofstream(d / "Broadcast Interview_mono.wav") << "someone else's file";
             return Args{"convert", "--yes", "--originals", "delete", d.string()};
         },
         1, "Broadcast Interview_mono.wav: a file of this name already exists", "--skip-existing"},
        // The window once stored suffixes as typed; one with a separator
        // must not put an output outside the source's folder.
        {"a stored suffix leads out of the folder",
         [](const Cli& cli, const fs::path& d) {
             store(cli, AppSettings{.namingSuffix = "/../../escaped"});
             const fs::path inner = d / "a" / "b";
             fs::create_directories(inner / "Dual Mono Guitar");
             fs::copy_file(d / "Dual Mono Guitar.wav", inner / "Dual Mono Guitar.wav");
             return Args{"convert", "--yes", "--originals", "delete", (inner / "Dual Mono Guitar.wav").string()};
         },
         1, "", "The output name suffix must not contain \"/\""},
        {"a pan that differs",
         [](const Cli&, const fs::path& d) {
             writePanMix(d / "Mix.wav");
             return Args{"convert", "--yes", "--originals", "delete", (d / "Mix.wav").string()};
         },
         0, "Nothing to convert.\n", "Mono Panned 29% L, differs by -18 dB"},
        {"the demo library over itself",
         [](const Cli&, const fs::path& d) {
             return Args{"demo", d.string()};
         },
         1, "", ": the demo library needs that name"},
    };
    for (const auto& [name, prepare, exitCode, out, err] : rows) {
        SCOPED_TRACE(name);
        const Cli cli;
        const TempDir dir;
        cli.writeDemo(dir.path());
        const std::vector<std::string> arguments = prepare(cli, dir.path());
        const auto before = fileTree(dir.path());
        const CliRun r = cli.run(arguments);
        EXPECT_EQ(r.exitCode, exitCode) << r.err;
        EXPECT_THAT(r.out, HasSubstr(out));
        EXPECT_THAT(r.err, HasSubstr(err));
        EXPECT_EQ(changedNames(fileTree(dir.path()), before), std::vector<std::string>{});
    }
}

// SIGTERM, and SIGHUP when the terminal closes, cancel like Ctrl-C, each
// with its own exit status.
TEST(CliInterrupt, SignalsCancelTheConversionAndRemoveThePartialOutput) {
    Cli cli;
    TempDir dir;
    {
        // About 150 MB, so the conversion is still running when the signal arrives.
        PcmFileWriter writer(dir / "long.wav", {PcmContainer::wav, PcmEncoding::int16, 48000}, 2);
        const Channels block = stereo(StereoKind::dualMono, std::size_t(1) << 20, PcmEncoding::int16);
        for (int i = 0; i < 36; ++i) writer.append(block);
        writer.close();
    }
    const auto size = fs::file_size(dir / "long.wav");
    for (const int signal : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        const auto process = cli.startConverting({"convert", "--yes", dir.path().string()});
        ASSERT_TRUE(process);
        ::kill(pid_t(process->processId()), signal);
        ASSERT_TRUE(process->waitForFinished(60000));
        ASSERT_EQ(process->exitStatus(), QProcess::NormalExit);
        if (process->exitCode() != 0) {
            EXPECT_EQ(process->exitCode(), 128 + signal);  // as a shell reports a process the signal ended
            const QByteArray err = process->readAllStandardError();
            // On a busy machine the signal may even beat the start of the conversion.
            EXPECT_TRUE(err.contains("conversion cancelled") || err.contains("Nothing converted."))
                << err.toStdString();
        }
        // A signal during writing removes the unfinished file; one that
        // arrives while the finished output is being checked leaves it, complete.
        if (fs::exists(dir / "long_mono.wav")) {
            EXPECT_EQ(pcmFileInfo(dir / "long_mono.wav").frames, 36 << 20);
            fs::remove(dir / "long_mono.wav");
        }
        // No temporary, no backup folder: nothing but the original, whole.
        EXPECT_EQ(folderListing(dir.path()), std::vector<std::string>{"long.wav"});
        EXPECT_EQ(fs::file_size(dir / "long.wav"), size);
    }
}

// Convert with a backup, then restore with --remove-outputs: the library
// (with two originals of one name in different folders) comes back byte for
// byte. A file in an original's place is never replaced, an output changed
// since is never deleted: each is named, the run exits with 4, and what the
// record vouches for stays in the backup folder.
TEST(CliRestore, ConvertThenRestoreGivesBackTheTreeButNeverReplacesAFileOrDeletesAChangedOutput) {
    // What is done between conversion and restore, the problem named, the
    // files kept as they were after it, and whether the backup folder stays.
    const std::tuple<std::function<void(const fs::path&)>, std::string, std::set<std::string>, bool> rows[] = {
        {[](const fs::path&) {}, "", {}, false},
        {[](const fs::path& d) { std::ofstream(d / "a" / "Kick In.wav") << "a newer take"; },
         "Not restored a/Kick In.wav: a file of that name is in its place",
         {"a/Kick In.wav", "a/Kick In_mono.wav"},
         true},
        {[](const fs::path& d) { std::ofstream(d / "b" / "Kick In_mono.wav", std::ios::app) << "edited"; },
         "Kept b/Kick In_mono.wav: it has changed since the conversion",
         {"b/Kick In_mono.wav"},
         false},
    };
    const PcmFormat format{PcmContainer::wav, PcmEncoding::int16, 48000};
    for (const auto& [meddle, problem, kept, backupStays] : rows) {
        SCOPED_TRACE(problem);
        const Cli cli;
        const TempDir dir;
        cli.writeDemo(dir / "demo");
        for (const char* sub : {"a", "b"}) {
            fs::create_directory(dir / sub);
            writePcm(dir / sub / "Kick In.wav", format, stereo(StereoKind::dualMono, 4800, format.encoding));
        }
        const auto before = fileTree(dir.path());
        const CliRun converted = cli.run({"convert", "--yes", "--defaults", dir.path().string()});
        ASSERT_EQ(converted.exitCode, 0) << converted.err;
        const auto backups = backupFolders(dir.path());
        ASSERT_EQ(backups.size(), 1u);
        EXPECT_TRUE(fs::exists(backups[0] / "a" / "Kick In.wav") && fs::exists(backups[0] / "b" / "Kick In.wav"));
        meddle(dir.path());
        const auto meddled = fileTree(dir.path());

        const CliRun r = cli.run({"restore", "--remove-outputs", backups[0].string()});
        EXPECT_EQ(std::pair(r.exitCode, r.err),
                  std::pair(problem.empty() ? 0 : 4, problem.empty() ? "" : "twinfold-cli: " + problem + "\n"));
        EXPECT_EQ(std::pair(fs::exists(backups[0]), fs::exists(backups[0] / "a" / "Kick In.wav")),
                  std::pair(backupStays, backupStays));
        auto after = fileTree(dir.path()), expected = before;
        std::erase_if(after, [&](const auto& e) { return e.first.starts_with(backups[0].filename().string()); });
        for (const std::string& name : kept) expected[name] = meddled.at(name);
        EXPECT_EQ(changedNames(after, expected), std::vector<std::string>{});
    }
}

// A file that changes while the CLI waits for the user's answer is not
// converted on the verdict of the scan, and no original goes: a stereo file,
// then the right side of a split pair.
TEST(CliChangedWhileAsking, TheChangedFileAndItsPartnerStay) {
    for (const bool pair : {false, true}) {
        SCOPED_TRACE(pair ? "right side of a pair" : "stereo file");
        Cli cli;
        TempDir dir;
        const PcmFormat format{PcmContainer::wav, PcmEncoding::int16, 48000};
        const Channels dual = stereo(StereoKind::dualMono, 48000, format.encoding, 1);
        const fs::path changed =
            pair ? writeSplitPair(dir.path(), "Kick", ".wav", format, dual[0], dual[1]).right : dir / "song.wav";
        if (!pair) writePcm(changed, format, dual);
        const Channels replacement = stereo(StereoKind::trueStereo, 48000, format.encoding, 2);
        const CliRun run = cli.runOnTerminal(
            {"convert", "--originals", "delete", dir.path().string()},
            [&] {
                fs::remove(changed);
                writePcm(changed, format, pair ? Channels{replacement[1]} : replacement);
            },
            "y");
        EXPECT_EQ(run.exitCode, 1) << run.out;
        EXPECT_THAT(run.out, HasSubstr(changed.filename().string() + " has changed since it was scanned"));
        EXPECT_EQ(readStoredInts(changed).size(), pair ? 1u : 2u);
        EXPECT_TRUE(!pair || fs::exists(dir / "Kick.L.wav"));
        EXPECT_FALSE(fs::exists(dir / (pair ? "Kick_mono.wav" : "song_mono.wav")));
    }
}

// A file of 1,024 channels is split, read back and its original deleted
// under a limit of 256 open descriptors: outputs are written and proven a
// group at a time.
TEST(CliWideFile, AThousandChannelsSplitAndAreProvenUnderADescriptorLimit) {
    Cli cli;
    TempDir dir;
    const int channels = 1024;
    writePcm(dir / "Wide.wav", {PcmContainer::wav, PcmEncoding::int16, 48000},
             multichannel({channels, {{0, 1}}, {5}}, 1500, PcmEncoding::int16, 9));
    QProcess process;
    process.setProcessEnvironment(cli.environment());
    process.start("/bin/sh",
                  {"-c", "ulimit -n 256 && exec \"$0\" \"$@\"", TWINFOLD_CLI_PATH, "convert", "--yes", "--multichannel",
                   "split", "--originals", "delete", QString::fromStdString(dir.path().string())});
    process.closeWriteChannel();
    ASSERT_TRUE(process.waitForFinished(300000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    EXPECT_EQ(folderListing(dir.path()).size(), std::size_t(channels));  // the outputs alone: the original went
    EXPECT_EQ(readStoredInts(dir / "Wide_mono_ch1024.wav").front().size(), 1500u);
}

}  // namespace
}  // namespace twinfold::test
