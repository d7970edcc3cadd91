#include "updates/VersionComparison.h"

#include <gtest/gtest.h>

namespace twinfold {
namespace {

TEST(IsNewerVersion, ComparesNumericComponents)
{
    const struct {
        const char* candidate;
        const char* current;
        bool newer;
    } cases[] = {
        // trailing zeros make no difference, in either direction
        {"1.2.0", "1.2", false}, {"1.2", "1.2.0", false},
        // numbers, not text
        {"1.10", "1.9", true}, {"1.9", "1.10", false},
        // a non-numeric piece is dropped and the rest moves left
        {"2.0-beta", "1.9", true}, {"1.x.3", "1.2", true}, {"1.3rc1", "1.2", false}, {"1. 2", "1.1", false},
        // empty pieces and empty strings
        {"", "1.0", false}, {"", "", false}, {"1..2", "1.1", true}, {".1.", "1", false},
        // against a build that knows no version
        {"0.0.1", "0.0.0", true}, {"0.0.0", "0.0.0", false},
        // signs; "+-1" is not a number, read as -1 the candidate would be older
        {"+2", "1", true}, {"-1", "0", false}, {"0", "-1", true}, {"1.-0", "1", false}, {"1.+", "1", false},
        {"2.+-1.5", "2.4", true},
        // 64-bit range: the largest value counts, one more is dropped
        {"1.9223372036854775807", "1.5", true}, {"1.9223372036854775808", "1.5", false},
        {"1.-9223372036854775808", "1", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isNewerVersion(c.candidate, c.current), c.newer)
            << '"' << c.candidate << "\" vs \"" << c.current << '"';
}

}  // namespace
}  // namespace twinfold
