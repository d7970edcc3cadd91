// twinfold-cli's command line: usage errors exit with 2 and point to the
// help; every command has its help.
#include "CliRunner.h"

#include <gtest/gtest.h>

namespace twinfold::test {
namespace {

using Arguments = std::vector<std::string>;

class CliUsageErrorTest : public testing::TestWithParam<Arguments> {};

TEST_P(CliUsageErrorTest, ExitsWithTwoAndNamesTheHelp) {
    Cli cli;
    const CliRun r = cli.run(GetParam());
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(r.err.starts_with("twinfold-cli: ")) << r.err;
    EXPECT_NE(r.err.find("--help"), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cli, CliUsageErrorTest,
    testing::Values(Arguments{}, Arguments{"rescan", "x"}, Arguments{"scan"}, Arguments{"scan", "--json"},
                    Arguments{"scan", "--threshold"}, Arguments{"scan", "--threshold", "loud", "x"},
                    Arguments{"scan", "--threshold", "-inf", "x"}, Arguments{"scan", "--verbose", "x"},
                    Arguments{"scan", "--json=yes", "x"}, Arguments{"convert"},
                    Arguments{"convert", "--originals", "trash", "x"}, Arguments{"convert", "--phase", "middle", "x"},
                    Arguments{"convert", "--multichannel", "keep", "x"}, Arguments{"convert", "--normalize", "3", "x"},
                    Arguments{"convert", "--suffix", "../elsewhere", "x"}, Arguments{"convert", "--suffix"},
                    Arguments{"demo"}, Arguments{"demo", "a", "b"}));

class CliHelpTest : public testing::TestWithParam<Arguments> {};

TEST_P(CliHelpTest, PrintsUsageAndSucceeds) {
    Cli cli;
    const CliRun r = cli.run(GetParam());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string command = GetParam().size() > 1 ? GetParam().front() + " " : "";
    EXPECT_TRUE(r.out.starts_with("Usage: twinfold-cli " + (command.empty() ? std::string("COMMAND") : command)))
        << r.out;
    EXPECT_EQ(r.err, "");
}

INSTANTIATE_TEST_SUITE_P(Cli, CliHelpTest,
                         testing::Values(Arguments{"--help"}, Arguments{"scan", "--help"},
                                         Arguments{"convert", "-h"}, Arguments{"demo", "--help"}));

TEST(CliArguments, RelativePathsAfterDoubleDashMayStartWithADash) {
    Cli cli;
    TempDir dir;
    cli.writeDemo(dir / "-lib");
    const CliRun r = cli.run({"scan", "--json", "--", "-lib/"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // Reported with the absolute path a dropped item has.
    EXPECT_NE(r.out.find("\"path\": \"" + (dir / "-lib" / "Mono Kick.wav").string() + "\""), std::string::npos)
        << r.out;
}

}  // namespace
}  // namespace twinfold::test
