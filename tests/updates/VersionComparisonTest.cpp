#include "updates/VersionComparison.h"

#include <gtest/gtest.h>

namespace twinfold {
namespace {

using Parts = std::vector<std::uint32_t>;

// One to four plain decimal numbers of 32 bits, in 32 characters at most;
// anything else (signs, spaces, suffixes, other bases or digits) is refused.
TEST(ParseVersion, TakesOneToFourNumbersIn32CharactersAtMost) {
    EXPECT_EQ(parseVersion("7"), Parts{7});
    EXPECT_EQ(parseVersion("1.2.3.4"), (Parts{1, 2, 3, 4}));
    EXPECT_EQ(parseVersion("0004294967295.4294967295.4294967"), (Parts{4294967295u, 4294967295u, 4294967u}));
    for (const char* refused :
         {"0004294967295.4294967295.42949672", "1.2.3.4.5", "1.4294967296", "", "1..2", ".1", "1.", "+2", "-1", " 1.2",
          "1.2\n", "1,2", "2.0-beta", "v2.0", "0x10", "1e3", "\xEF\xBC\x92.0"})
        EXPECT_EQ(parseVersion(refused), std::nullopt) << '"' << refused << '"';
}

TEST(IsNewerVersion, ComparesNumericComponents) {
    const struct {
        const char* candidate;
        const char* current;
        bool newer;
    } cases[] = {
        // trailing zeros make no difference, in either direction
        {"1.2.0", "1.2", false},
        {"1.2", "1.2.0", false},
        {"1.2.0.1", "1.2", true},
        // numbers, not text; leading zeros are only zeros
        {"1.10", "1.9", true},
        {"1.010", "1.9", true},
        {"01.2", "1.2", false},
        {"0.0.1", "0.0.0", true},
        {"4294967295", "4294967294.9", true},
        // what is not a version number is never newer, nor is anything newer than it
        {"4294967296", "1", false},
        {"2.0-beta", "1.9", false},
        {"2", "beta", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isNewerVersion(c.candidate, c.current), c.newer)
            << '"' << c.candidate << "\" vs \"" << c.current << '"';
}

}  // namespace
}  // namespace twinfold
