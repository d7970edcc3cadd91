#include "updates/AppUpdate.h"
#include "updates/VersionComparison.h"

#include <gtest/gtest.h>

namespace twinfold {
namespace {

TEST(AppUpdateDecoding, ReadsTheFiveFieldsExactlyAndIgnoresOthers) {
    // The build is 2^53 + 1: a detour through double would turn it into 2^53.
    const QByteArray descriptor = R"({"version":"1.4.2","build":9007199254740993,"channel":"stable",
        "downloadURL":"https://www.twinfold.example/download","releaseNotes":"Faster scans.",
        "releaseDate":"2024-05-01","minimumOS":{"linux":"debian12"}})";
    EXPECT_EQ(decodeAppUpdate(descriptor),
              (AppUpdate{"1.4.2", 9007199254740993LL, "https://www.twinfold.example/download", "Faster scans.",
                         "2024-05-01"}));
    const AppUpdate odd{"2.0", -3, "https://a.example/x?y=1", "Notes \"quoted\" ü", ""};
    EXPECT_EQ(decodeAppUpdate(encodeAppUpdate(odd)), odd);
}

TEST(AppUpdateDecoding, BadDocumentsThrowADescriptiveDecodeError) {
    using Kind = AppUpdateDecodeError::Kind;
    const QByteArray rest = R"("downloadURL":"u","releaseNotes":"n")";
    // The document, the kind of refusal and, where given, its message.
    const std::tuple<QByteArray, Kind, std::string> cases[] = {
        {R"({"version":"1","build":1,)" + rest + "}", Kind::missingKey,
         "The data couldn’t be read because the key “releaseDate” is missing."},
        {R"({"version":"1","build":"7","releaseDate":"d",)" + rest + "}", Kind::wrongType,
         "The data couldn’t be read because the value of “build” is not a 64-bit integer."},
        {R"({"version":"1","build":1.5,"releaseDate":"d",)" + rest + "}", Kind::wrongType, ""},
        {R"({"version":"1","build":9223372036854775808,"releaseDate":"d",)" + rest + "}", Kind::wrongType, ""},
        {R"({"version":1.2,"build":1,"releaseDate":"d",)" + rest + "}", Kind::wrongType,
         "The data couldn’t be read because the value of “version” is not a string."},
        {R"({"version":"1","build":1,"releaseDate":"d","downloadURL":"u","releaseNotes":null})", Kind::wrongType, ""},
        {R"({"version":"1",)", Kind::invalidJSON, ""},
        {"", Kind::invalidJSON, ""},
        {"[1,2]", Kind::notAnObject, "The data couldn’t be read because it isn’t a JSON object."},
    };
    for (const auto& [json, kind, message] : cases) {
        SCOPED_TRACE(json.toStdString());
        try {
            decodeAppUpdate(json);
            ADD_FAILURE() << "decoded";
        } catch (const AppUpdateDecodeError& error) {
            EXPECT_EQ(error.kind(), kind);
            EXPECT_TRUE(message.empty() || error.what() == message) << error.what();
        }
    }
}

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
    const std::tuple<const char*, const char*, bool> cases[] = {
        // candidate, current, newer
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
    for (const auto& [candidate, current, newer] : cases)
        EXPECT_EQ(isNewerVersion(candidate, current), newer) << '"' << candidate << "\" vs \"" << current << '"';
}

}  // namespace
}  // namespace twinfold
