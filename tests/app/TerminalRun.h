#pragma once

// Runs twinfold-cli on a pseudo-terminal, so that it asks before converting,
// and lets the test act while the question waits for an answer.

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace twinfold::test {

struct TerminalRun {
    int exitCode = -1;
    std::string output;  // everything the program wrote to the terminal
};

// Starts the program with `configHome` as XDG_CONFIG_HOME, waits for the
// "[y/N]" question, calls `atQuestion`, then answers `answer`.
TerminalRun runOnTerminal(const std::vector<std::string>& arguments, const std::filesystem::path& configHome,
                          const std::function<void()>& atQuestion, const std::string& answer);

}  // namespace twinfold::test
