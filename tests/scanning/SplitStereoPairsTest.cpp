#include "scanning/FileScannerService.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace twinfold {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;
using NamePairs = std::vector<std::pair<std::string, std::string>>;

struct PairCase {
    const char* what;
    Names input;
    NamePairs pairs;  // compared as a set: the order of pairs is not part of the contract
    Names unpaired;   // compared in order
};

class SplitPairTest : public ::testing::TestWithParam<PairCase> {};

TEST_P(SplitPairTest, MatchesAsExpected) {
    const PairCase& c = GetParam();
    std::vector<fs::path> urls(c.input.begin(), c.input.end());
    const auto result = FileScannerService::findSplitStereoPairs(urls);

    NamePairs pairs;
    for (const auto& pair : result.pairs) pairs.emplace_back(pair.left.string(), pair.right.string());
    NamePairs expectedPairs = c.pairs;
    std::sort(pairs.begin(), pairs.end());
    std::sort(expectedPairs.begin(), expectedPairs.end());
    EXPECT_EQ(pairs, expectedPairs) << c.what;

    Names unpaired;
    for (const auto& url : result.unpaired) unpaired.push_back(url.string());
    EXPECT_EQ(unpaired, c.unpaired) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Examples, SplitPairTest,
    ::testing::Values(
        PairCase{"one pair among singles",
                 {"/m/Kick.L.wav", "/m/Kick.R.wav", "/m/Snare.wav", "/m/Hat.L.wav"},
                 {{"/m/Kick.L.wav", "/m/Kick.R.wav"}},
                 {"/m/Snare.wav", "/m/Hat.L.wav"}},
        PairCase{"names and marker case-insensitive",
                 {"/m/drums.r.WAV", "/m/Drums.L.wav"},
                 {{"/m/Drums.L.wav", "/m/drums.r.WAV"}},
                 {}},
        PairCase{"non-ASCII letters compare case-insensitively too",
                 {"/m/\xC3\x9C" "ber.L.wav", "/m/\xC3\xBC" "ber.R.wav"},
                 {{"/m/\xC3\x9C" "ber.L.wav", "/m/\xC3\xBC" "ber.R.wav"}},
                 {}},
        PairCase{"different extensions",
                 {"/m/Drums.L.wav", "/m/Drums.R.aif"},
                 {},
                 {"/m/Drums.L.wav", "/m/Drums.R.aif"}},
        PairCase{"same name in different folders",
                 {"/a/Kick.L.wav", "/b/Kick.R.wav", "/b/Kick.L.wav", "/a/Kick.R.wav"},
                 {{"/a/Kick.L.wav", "/a/Kick.R.wav"}, {"/b/Kick.L.wav", "/b/Kick.R.wav"}},
                 {}},
        PairCase{"folder differs only in case",
                 {"/A/Kick.L.wav", "/a/Kick.R.wav"},
                 {},
                 {"/A/Kick.L.wav", "/a/Kick.R.wav"}},
        PairCase{"marker needs a dot",
                 {"/m/Song_L.wav", "/m/Song_R.wav"},
                 {},
                 {"/m/Song_L.wav", "/m/Song_R.wav"}},
        PairCase{"base of three characters is enough",
                 {"/m/x.L.wav", "/m/x.R.wav"},
                 {{"/m/x.L.wav", "/m/x.R.wav"}},
                 {}},
        PairCase{"base of two characters is not",
                 {"/m/.L.wav", "/m/.R.wav"},
                 {},
                 {"/m/.L.wav", "/m/.R.wav"}},
        PairCase{"marker must sit before the extension",
                 {"/m/Take.L", "/m/Take.R", "/m/Take.L.wav.bak"},
                 {},
                 {"/m/Take.L", "/m/Take.R", "/m/Take.L.wav.bak"}},
        PairCase{"later candidate of one side replaces the earlier",
                 {"/m/Kick.L.wav", "/m/kick.l.wav", "/m/Kick.R.wav"},
                 {{"/m/kick.l.wav", "/m/Kick.R.wav"}},
                 {}},
        PairCase{"non-candidates first, then lone left, then lone right",
                 {"/m/Pad.R.wav", "/m/Snare.wav", "/m/Bass.L.wav", "/m/Kick.wav"},
                 {},
                 {"/m/Snare.wav", "/m/Kick.wav", "/m/Bass.L.wav", "/m/Pad.R.wav"}},
        PairCase{"nothing in, nothing out", {}, {}, {}}));

}  // namespace
}  // namespace twinfold
