// The analysis cache, watched from outside with strace.
#include "CliRunner.h"

#include <QStandardPaths>

#include <thread>

namespace twinfold::test {
namespace {

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
