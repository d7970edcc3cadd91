// twinfold-cli's command line: usage errors exit with 2 and point to the
// help; every command has its help.
#include "CliRunner.h"

namespace twinfold::test {
namespace {

using Arguments = std::vector<std::string>;
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
                    Arguments{"scan", "--jobs", "0", "x"}, Arguments{"restore"}, Arguments{"restore", "a", "b"},
                    Arguments{"restore", "--dry-run", "a"}, Arguments{"help", "rescan"},
                    Arguments{"help", "scan", "convert"}, Arguments{"demo"}, Arguments{"demo", "a", "b"},
                    Arguments{"show"}, Arguments{"show", "--difference", "d.wav", "a", "b"}));

// Help and version succeed and print to standard output; "help scan" is "scan --help".
TEST(CliHelp, PrintsUsageOrVersionAndSucceeds) {
    const struct {
        Arguments arguments;
        std::string starts;
    } rows[] = {{{"--help"}, "Usage: twinfold-cli COMMAND "},
                {{"help"}, "Usage: twinfold-cli COMMAND "},
                {{"scan", "--help"}, "Usage: twinfold-cli scan "},
                {{"convert", "-h"}, "Usage: twinfold-cli convert "},
                {{"help", "scan"}, "Usage: twinfold-cli scan "},
                {{"help", "show"}, "Usage: twinfold-cli show "},
                {{"--version"}, "twinfold-cli "}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.arguments));
        const CliRun r = Cli().run(row.arguments);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_THAT(r.out, StartsWith(row.starts));
        EXPECT_EQ(r.err, "");
    }
}

}  // namespace
}  // namespace twinfold::test
