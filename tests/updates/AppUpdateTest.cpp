#include "updates/AppUpdate.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace twinfold {
namespace {

const QByteArray kDescriptor = R"({"version":"1.4.2","build":9007199254740993,
    "downloadURL":"https://www.twinfold.example/download","releaseNotes":"Faster scans.",
    "releaseDate":"2024-05-01"})";

TEST(AppUpdateDecoding, ReadsAllFiveFieldsAndKeepsTheBuildExact)
{
    const AppUpdate update = decodeAppUpdate(kDescriptor);
    EXPECT_EQ(update.version, "1.4.2");
    // 2^53 + 1: a detour through double would turn it into 2^53.
    EXPECT_EQ(update.build, 9007199254740993LL);
    EXPECT_EQ(update.downloadURL, "https://www.twinfold.example/download");
    EXPECT_EQ(update.releaseNotes, "Faster scans.");
    EXPECT_EQ(update.releaseDate, "2024-05-01");
}

TEST(AppUpdateDecoding, EncodingRoundTrips)
{
    const AppUpdate update{"2.0", -3, "https://a.example/x?y=1", "Notes \"quoted\" ü", ""};
    EXPECT_EQ(decodeAppUpdate(encodeAppUpdate(update)), update);
}

struct BadDocument {
    std::string name;
    QByteArray json;
    AppUpdateDecodeError::Kind kind;
    std::string message;  // empty: only the kind is checked
};

std::ostream& operator<<(std::ostream& out, const BadDocument& d) { return out << d.name; }

class AppUpdateDecodingFailure : public ::testing::TestWithParam<BadDocument> {};

TEST_P(AppUpdateDecodingFailure, ThrowsADescriptiveDecodeError)
{
    const BadDocument& d = GetParam();
    try {
        decodeAppUpdate(d.json);
        FAIL() << "decoded " << d.name;
    } catch (const AppUpdateDecodeError& error) {
        EXPECT_EQ(error.kind(), d.kind);
        if (!d.message.empty())
            EXPECT_EQ(std::string(error.what()), d.message);
        else
            EXPECT_GT(std::string(error.what()).size(), 20u);
    }
}

using Kind = AppUpdateDecodeError::Kind;
constexpr const char* kRest = R"("downloadURL":"u","releaseNotes":"n")";

INSTANTIATE_TEST_SUITE_P(
    Documents, AppUpdateDecodingFailure,
    ::testing::Values(
        BadDocument{"missingReleaseDate", QByteArray(R"({"version":"1","build":1,)") + kRest + "}", Kind::missingKey,
                    "The data couldn’t be read because the key “releaseDate” is missing."},
        BadDocument{"buildAsString", QByteArray(R"({"version":"1","build":"7","releaseDate":"d",)") + kRest + "}",
                    Kind::wrongType, "The data couldn’t be read because the value of “build” is not a 64-bit integer."},
        BadDocument{"buildFractional", QByteArray(R"({"version":"1","build":1.5,"releaseDate":"d",)") + kRest + "}",
                    Kind::wrongType, ""},
        BadDocument{"buildBeyond64Bits",
                    QByteArray(R"({"version":"1","build":9223372036854775808,"releaseDate":"d",)") + kRest + "}",
                    Kind::wrongType, ""},
        BadDocument{"versionAsNumber", QByteArray(R"({"version":1.2,"build":1,"releaseDate":"d",)") + kRest + "}",
                    Kind::wrongType, "The data couldn’t be read because the value of “version” is not a string."},
        BadDocument{"nullNotes", R"({"version":"1","build":1,"releaseDate":"d","downloadURL":"u","releaseNotes":null})",
                    Kind::wrongType, ""},
        BadDocument{"malformed", R"({"version":"1",)", Kind::invalidJSON, ""},
        BadDocument{"empty", "", Kind::invalidJSON, ""},
        BadDocument{"array", "[1,2]", Kind::notAnObject, "The data couldn’t be read because it isn’t a JSON object."}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace twinfold
