// twinfold-cli's command line: usage errors exit with 2 and point to the
// help; every command has its help.
#include "CliRunner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace twinfold::test {
namespace {

using Arguments = std::vector<std::string>;
using testing::HasSubstr;
using testing::StartsWith;

class CliUsageErrorTest : public testing::TestWithParam<Arguments> {};

TEST_P(CliUsageErrorTest, ExitsWithTwoAndNamesTheHelp) {
    const CliRun r = Cli().run(GetParam());
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_THAT(r.err, StartsWith("twinfold-cli: "));
    EXPECT_THAT(r.err, HasSubstr("--help"));
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
                    Arguments{"convert", "--include-differing=yes", "x"}, Arguments{"convert", "--log"},
                    Arguments{"convert", "--no-normalize=-3", "x"}, Arguments{"scan", "--exclude"},
                    Arguments{"restore"}, Arguments{"restore", "a", "b"}, Arguments{"restore", "--dry-run", "a"},
                    Arguments{"help", "rescan"}, Arguments{"help", "scan", "convert"},
                    Arguments{"demo"}, Arguments{"demo", "a", "b"}, Arguments{"show"},
                    Arguments{"show", "--difference", "d.wav", "a", "b"}));

class CliHelpTest : public testing::TestWithParam<Arguments> {};

TEST_P(CliHelpTest, PrintsUsageAndSucceeds) {
    const CliRun r = Cli().run(GetParam());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    // "help scan" is "scan --help".
    const Arguments& a = GetParam();
    const std::string command = a.size() < 2 ? "COMMAND " : (a.front() == "help" ? a.back() : a.front()) + " ";
    EXPECT_THAT(r.out, StartsWith("Usage: twinfold-cli " + command));
    EXPECT_EQ(r.err, "");
}

INSTANTIATE_TEST_SUITE_P(Cli, CliHelpTest,
                         testing::Values(Arguments{"--help"}, Arguments{"help"}, Arguments{"scan", "--help"},
                                         Arguments{"convert", "-h"}, Arguments{"restore", "--help"},
                                         Arguments{"demo", "--help"}, Arguments{"help", "scan"},
                                         Arguments{"help", "restore"}, Arguments{"help", "show"}));

TEST(CliVersion, BothSpellingsPrintTheVersion) {
    for (const char* option : {"-v", "--version"}) {
        const CliRun r = Cli().run({option});
        EXPECT_EQ(r.exitCode, 0) << option;
        EXPECT_THAT(r.out, StartsWith("twinfold-cli "));
    }
}

// Scripts read the exit status; the help is where they learn its values.
TEST(CliHelpText, DocumentsEveryExitStatus) {
    const std::string help = Cli().run({"--help"}).out;
    for (const char* code : {"  0 ", "  1 ", "  2 ", "  3 ", "  4 ", "  129 ", "  130 ", "  143 "})
        EXPECT_THAT(help, HasSubstr(code));
}

}  // namespace
}  // namespace twinfold::test
