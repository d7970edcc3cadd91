#pragma once

// Runs the real twinfold-cli binary in a child process with its own
// settings folder (XDG_CONFIG_HOME) and the C locale, and collects what it
// printed. Standard input is an empty pipe: never a terminal.

// Also runs it on a pseudo-terminal, so that it asks before converting. The
// tests share these includes.

#include "support/FileTree.h"
#include "support/PcmFixtures.h"
#include "support/TempDir.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <set>

namespace twinfold::test {

namespace fs = std::filesystem;
using testing::HasSubstr;
using testing::Not;

struct CliRun {
    int exitCode = -1;
    std::string out;  // on a terminal, everything the program wrote to it
    std::string err;
};

class Cli {
public:
    // Where the child's per-user settings live.
    fs::path settingsFile() const { return configHome_ / "Twinfold" / "Twinfold.conf"; }

    // The child's environment: its own settings and cache folders, the C locale.
    QProcessEnvironment environment() const;
    // `workingDirectory` empty: the test's own.
    CliRun run(const std::vector<std::string>& arguments, const fs::path& workingDirectory = {}) const;
    // Starts the program and returns at once; the caller waits for it.
    std::unique_ptr<QProcess> start(const std::vector<std::string>& arguments,
                                    const fs::path& workingDirectory = {}) const;
    // Starts a conversion and returns once it has printed its plan, after
    // which it converts at once; null (and a failure) when it did not get that far.
    std::unique_ptr<QProcess> startConverting(const std::vector<std::string>& arguments) const;
    // Runs the program on a pseudo-terminal (through script(1)) with TERM=dumb,
    // so that it asks before converting: waits for its "[y/N]" question,
    // calls `atQuestion`, then answers `answer`.
    CliRun runOnTerminal(const std::vector<std::string>& arguments, const std::function<void()>& atQuestion,
                         const std::string& answer) const;
    // Writes the demo library into `dir` and expects success.
    void writeDemo(const fs::path& dir) const;
    // `scan --json` with the arguments, parsed; fails the test on a bad exit or document.
    QJsonObject scanJson(const std::vector<std::string>& arguments, const fs::path& workingDirectory = {}) const;

private:
    TempDir configHome_;
};

// The result of a scan document for one file name.
QJsonObject resultNamed(const QJsonObject& document, const std::string& filename);

// The names whose bytes differ between two file trees, or that one lacks:
// what a failed comparison prints, rather than the files' bytes.
std::vector<std::string> changedNames(const std::map<std::string, std::string>& a,
                                      const std::map<std::string, std::string>& b);
std::vector<std::string> lines(const std::string& text);
// A table row split at runs of two or more blanks.
std::vector<std::string> cells(const std::string& line);
// A 24-bit stereo WAV, 2 s at 48 kHz, that reads as "Mono Panned 29% L" but
// is a mix: L = 0.5·sin 440 Hz, R = 0.35·sin 440 Hz + 0.045·sin 1500 Hz, so
// the right side differs from a scaled left by −17.9 dB.
void writePanMix(const fs::path& file);

}  // namespace twinfold::test
