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
                    Arguments{"convert", "--include-differing=yes", "x"},
                    Arguments{"demo"}, Arguments{"demo", "a", "b"}));

class CliHelpTest : public testing::TestWithParam<Arguments> {};

TEST_P(CliHelpTest, PrintsUsageAndSucceeds) {
    const CliRun r = Cli().run(GetParam());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string command = GetParam().size() > 1 ? GetParam().front() + " " : "COMMAND ";
    EXPECT_THAT(r.out, StartsWith("Usage: twinfold-cli " + command));
    EXPECT_EQ(r.err, "");
}

INSTANTIATE_TEST_SUITE_P(Cli, CliHelpTest,
                         testing::Values(Arguments{"--help"}, Arguments{"scan", "--help"},
                                         Arguments{"convert", "-h"}, Arguments{"demo", "--help"}));

}  // namespace
}  // namespace twinfold::test
