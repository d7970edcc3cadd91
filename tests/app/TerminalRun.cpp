#include "TerminalRun.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

namespace twinfold::test {

namespace {

// Reads what the child writes until `until` appears, the child closes the
// terminal, or 60 s pass.
void readUntil(int master, std::string& output, const std::string& until) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        if (!until.empty() && output.find(until) != std::string::npos) return;
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 200) <= 0) continue;
        char buffer[4096];
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0) return;  // EIO once the child has gone
        output.append(buffer, std::size_t(n));
    }
}

}  // namespace

TerminalRun runOnTerminal(const std::vector<std::string>& arguments, const std::filesystem::path& configHome,
                          const std::function<void()>& atQuestion, const std::string& answer) {
    std::vector<std::string> all{TWINFOLD_CLI_PATH};
    all.insert(all.end(), arguments.begin(), arguments.end());
    int master = -1;
    const pid_t child = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (child < 0) {
        ADD_FAILURE() << "no pseudo-terminal";
        return {};
    }
    if (child == 0) {
        ::setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
        ::setenv("XDG_CACHE_HOME", (configHome / "cache").c_str(), 1);
        ::setenv("LC_ALL", "C", 1);
        ::setenv("TERM", "dumb", 1);
        std::vector<char*> argv;
        for (std::string& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    TerminalRun run;
    readUntil(master, run.output, "[y/N]");
    EXPECT_NE(run.output.find("[y/N]"), std::string::npos) << run.output;
    atQuestion();
    const std::string line = answer + "\n";
    EXPECT_EQ(::write(master, line.data(), line.size()), ssize_t(line.size()));
    readUntil(master, run.output, {});
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(master);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

}  // namespace twinfold::test
