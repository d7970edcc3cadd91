#include "scanning/FileScannerService.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace twinfold {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;
using Pairs = std::set<std::pair<std::string, std::string>>;  // the order of pairs is not part of the contract

// A name without a folder lies in /m.
std::string inFolder(const std::string& name) { return name.find('/') == std::string::npos ? "/m/" + name : name; }

struct PairCase {
    Names input;
    Pairs pairs;
    Names unpaired;  // compared in order
};

class SplitPairTest : public ::testing::TestWithParam<PairCase> {};

TEST_P(SplitPairTest, MatchesAsExpected) {
    const PairCase& c = GetParam();
    std::vector<fs::path> input;
    for (const auto& name : c.input) input.push_back(inFolder(name));
    const auto result = FileScannerService::findSplitStereoPairs(input);
    Pairs pairs, expectedPairs;
    for (const auto& pair : result.pairs) pairs.emplace(pair.left.string(), pair.right.string());
    for (const auto& [left, right] : c.pairs) expectedPairs.emplace(inFolder(left), inFolder(right));
    EXPECT_EQ(pairs, expectedPairs);
    Names unpaired, expectedUnpaired;
    for (const auto& path : result.unpaired) unpaired.push_back(path.string());
    for (const auto& name : c.unpaired) expectedUnpaired.push_back(inFolder(name));
    EXPECT_EQ(unpaired, expectedUnpaired);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, SplitPairTest,
    ::testing::Values(PairCase{{"Kick.L.wav", "Kick.R.wav", "Snare.wav", "Hat.L.wav"},
                               {{"Kick.L.wav", "Kick.R.wav"}},
                               {"Snare.wav", "Hat.L.wav"}},
                      // Names, marker and extension compare case-insensitively, non-ASCII letters included.
                      PairCase{{"drums.r.WAV", "Drums.L.wav"}, {{"Drums.L.wav", "drums.r.WAV"}}, {}},
                      PairCase{{"\u00DCber.L.wav", "\u00FCber.R.wav"}, {{"\u00DCber.L.wav", "\u00FCber.R.wav"}}, {}},
                      PairCase{{"Drums.L.wav", "Drums.R.aif"}, {}, {"Drums.L.wav", "Drums.R.aif"}},
                      // Only files of one folder pair up.
                      PairCase{{"/a/Kick.L.wav", "/b/Kick.R.wav", "/b/Kick.L.wav", "/a/Kick.R.wav"},
                               {{"/a/Kick.L.wav", "/a/Kick.R.wav"}, {"/b/Kick.L.wav", "/b/Kick.R.wav"}},
                               {}},
                      PairCase{{"/A/Kick.L.wav", "/a/Kick.R.wav"}, {}, {"/A/Kick.L.wav", "/a/Kick.R.wav"}},
                      // The marker is a dot and L or R right before the extension, after a non-empty name.
                      PairCase{{"Song_L.wav", "Song_R.wav"}, {}, {"Song_L.wav", "Song_R.wav"}},
                      PairCase{{"x.L.wav", "x.R.wav"}, {{"x.L.wav", "x.R.wav"}}, {}},
                      PairCase{{".L.wav", ".R.wav"}, {}, {".L.wav", ".R.wav"}},
                      PairCase{{"Take.L", "Take.R", "Take.L.wav.bak"}, {}, {"Take.L", "Take.R", "Take.L.wav.bak"}},
                      // Two candidates for one side pair nothing and hide nothing.
                      PairCase{
                          {"Kick.L.wav", "kick.l.wav", "Kick.R.wav"}, {}, {"Kick.L.wav", "kick.l.wav", "Kick.R.wav"}},
                      // Unpaired: files without a marker in input order, then unmatched lefts, then rights.
                      PairCase{{"Pad.R.wav", "Snare.wav", "Bass.L.wav", "Kick.wav"},
                               {},
                               {"Snare.wav", "Kick.wav", "Bass.L.wav", "Pad.R.wav"}},
                      PairCase{{}, {}, {}}));

}  // namespace
}  // namespace twinfold
