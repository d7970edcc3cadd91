// A file that changes while the CLI waits for the user's answer is not
// converted on the verdict of the scan, and no original goes.
#include "CliRunner.h"

namespace twinfold::test {
namespace {

struct SwapCase {
    const char* name;
    bool splitPair;
};

void PrintTo(const SwapCase& c, std::ostream* out) { *out << c.name; }

class CliChangedWhileAsking : public ::testing::TestWithParam<SwapCase> {};

TEST_P(CliChangedWhileAsking, TheChangedFileAndItsPartnerStay) {
    const bool pair = GetParam().splitPair;
    Cli cli;
    TempDir dir;
    const PcmFormat format{PcmContainer::wav, PcmEncoding::int16, 48000};
    const Channels dual = stereo(StereoKind::dualMono, 48000, format.encoding, 1);
    fs::path changed;
    if (pair) {
        changed = writeSplitPair(dir.path(), "Kick", ".wav", format, dual[0], dual[1]).right;
    } else {
        changed = dir / "song.wav";
        writePcm(changed, format, dual);
    }
    const Channels replacement = stereo(StereoKind::trueStereo, 48000, format.encoding, 2);
    const fs::path configHome = cli.settingsFile().parent_path().parent_path();
    const TerminalRun run = runOnTerminal(
        {"convert", "--originals", "delete", dir.path().string()}, configHome,
        [&] {
            fs::remove(changed);
            if (pair)
                writePcm(changed, format, {replacement[1]});
            else
                writePcm(changed, format, replacement);
        },
        "y");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find(changed.filename().string() + " has changed since it was scanned"), std::string::npos)
        << run.output;
    EXPECT_EQ(readStoredInts(changed).size(), pair ? 1u : 2u);
    EXPECT_TRUE(!pair || fs::exists(dir / "Kick.L.wav"));
    EXPECT_FALSE(fs::exists(dir / (pair ? "Kick_mono.wav" : "song_mono.wav")));
}

INSTANTIATE_TEST_SUITE_P(Sources, CliChangedWhileAsking,
                         ::testing::Values(SwapCase{"stereo file", false}, SwapCase{"right side of a pair", true}));

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
    EXPECT_FALSE(fs::exists(dir / "Wide.wav"));
    std::size_t outputs = 0;
    for (const auto& entry : fs::directory_iterator(dir.path())) outputs += entry.path().extension() == ".wav";
    EXPECT_EQ(outputs, std::size_t(channels));
    EXPECT_EQ(readStoredInts(dir / "Wide_mono_ch1024.wav").front().size(), 1500u);
}

}  // namespace
}  // namespace twinfold::test
