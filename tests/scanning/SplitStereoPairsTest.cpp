#include "scanning/FileScannerService.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace twinfold {
namespace {

namespace fs = std::filesystem;

// Lists are written "a|b|c", pairs "left>right"; a name without a folder
// lies in /m.
std::string inFolder(const std::string& name) { return name.find('/') == std::string::npos ? "/m/" + name : name; }

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream stream(text);
    for (std::string part; std::getline(stream, part, separator);) parts.push_back(part);
    return parts;
}

std::vector<std::string> names(const std::string& text) {
    auto parts = split(text, '|');
    for (auto& part : parts) part = inFolder(part);
    return parts;
}

struct PairCase {
    const char* input;
    const char* pairs;     // compared as a set: the order of pairs is not part of the contract
    const char* unpaired;  // compared in order
};

class SplitPairTest : public ::testing::TestWithParam<PairCase> {};

TEST_P(SplitPairTest, MatchesAsExpected) {
    const auto input = names(GetParam().input);
    const auto result = FileScannerService::findSplitStereoPairs({input.begin(), input.end()});
    std::multiset<std::string> pairs, expectedPairs;
    for (const auto& pair : result.pairs) pairs.insert(pair.left.string() + ">" + pair.right.string());
    for (const auto& pair : split(GetParam().pairs, '|')) {
        const auto sides = split(pair, '>');
        expectedPairs.insert(inFolder(sides.at(0)) + ">" + inFolder(sides.at(1)));
    }
    EXPECT_EQ(pairs, expectedPairs) << GetParam().input;
    std::vector<std::string> unpaired;
    for (const auto& url : result.unpaired) unpaired.push_back(url.string());
    EXPECT_EQ(unpaired, names(GetParam().unpaired)) << GetParam().input;
}

INSTANTIATE_TEST_SUITE_P(
    Examples, SplitPairTest,
    ::testing::Values(
        PairCase{"Kick.L.wav|Kick.R.wav|Snare.wav|Hat.L.wav", "Kick.L.wav>Kick.R.wav", "Snare.wav|Hat.L.wav"},
        // Names, marker and extension compare case-insensitively, non-ASCII letters included.
        PairCase{"drums.r.WAV|Drums.L.wav", "Drums.L.wav>drums.r.WAV", ""},
        PairCase{"\xC3\x9C" "ber.L.wav|\xC3\xBC" "ber.R.wav", "\xC3\x9C" "ber.L.wav>\xC3\xBC" "ber.R.wav", ""},
        PairCase{"Drums.L.wav|Drums.R.aif", "", "Drums.L.wav|Drums.R.aif"},
        // Only files of one folder pair up.
        PairCase{"/a/Kick.L.wav|/b/Kick.R.wav|/b/Kick.L.wav|/a/Kick.R.wav",
                 "/a/Kick.L.wav>/a/Kick.R.wav|/b/Kick.L.wav>/b/Kick.R.wav", ""},
        PairCase{"/A/Kick.L.wav|/a/Kick.R.wav", "", "/A/Kick.L.wav|/a/Kick.R.wav"},
        // The marker is a dot and L or R right before the extension, after a non-empty name.
        PairCase{"Song_L.wav|Song_R.wav", "", "Song_L.wav|Song_R.wav"},
        PairCase{"x.L.wav|x.R.wav", "x.L.wav>x.R.wav", ""},
        PairCase{".L.wav|.R.wav", "", ".L.wav|.R.wav"},
        PairCase{"Take.L|Take.R|Take.L.wav.bak", "", "Take.L|Take.R|Take.L.wav.bak"},
        // Two candidates for one side pair nothing and hide nothing.
        PairCase{"Kick.L.wav|kick.l.wav|Kick.R.wav", "", "Kick.L.wav|kick.l.wav|Kick.R.wav"},
        PairCase{"Pad.R.wav|Snare.wav|Bass.L.wav|Kick.wav", "", "Snare.wav|Kick.wav|Bass.L.wav|Pad.R.wav"},
        PairCase{"", "", ""}));

}  // namespace
}  // namespace twinfold
