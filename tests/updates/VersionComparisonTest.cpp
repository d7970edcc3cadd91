#include "updates/VersionComparison.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace twinfold {
namespace {

struct VersionCase {
    std::string candidate;
    std::string current;
    bool newer;
};

std::ostream& operator<<(std::ostream& out, const VersionCase& c)
{
    return out << '"' << c.candidate << "\" vs \"" << c.current << '"';
}

class IsNewerVersion : public ::testing::TestWithParam<VersionCase> {};

TEST_P(IsNewerVersion, ComparesNumericComponents)
{
    const VersionCase& c = GetParam();
    EXPECT_EQ(isNewerVersion(c.candidate, c.current), c.newer);
}

INSTANTIATE_TEST_SUITE_P(
    Table, IsNewerVersion,
    ::testing::Values(
        // trailing zeros make no difference, in either direction
        VersionCase{"1.2.0", "1.2", false}, VersionCase{"1.2", "1.2.0", false},
        // numbers, not text
        VersionCase{"1.10", "1.9", true}, VersionCase{"1.9", "1.10", false},
        // a non-numeric piece is dropped and the rest moves left
        VersionCase{"2.0-beta", "1.9", true}, VersionCase{"1.x.3", "1.2", true},
        VersionCase{"1.3rc1", "1.2", false}, VersionCase{"1. 2", "1.1", false},
        // empty pieces and empty strings
        VersionCase{"", "1.0", false}, VersionCase{"", "", false}, VersionCase{"1..2", "1.1", true},
        VersionCase{".1.", "1", false},
        // against a build that knows no version
        VersionCase{"0.0.1", "0.0.0", true}, VersionCase{"0.0.0", "0.0.0", false},
        // signs
        VersionCase{"+2", "1", true}, VersionCase{"-1", "0", false}, VersionCase{"0", "-1", true},
        VersionCase{"1.-0", "1", false}, VersionCase{"1.+", "1", false},
        // "+-1" is not a number; read as -1 the candidate would be older
        VersionCase{"2.+-1.5", "2.4", true},
        // 64-bit range: the largest value counts, one more is dropped
        VersionCase{"1.9223372036854775807", "1.5", true}, VersionCase{"1.9223372036854775808", "1.5", false},
        VersionCase{"1.-9223372036854775808", "1", false}));

}  // namespace
}  // namespace twinfold
