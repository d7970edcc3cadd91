#include "updates/AppUpdate.h"

#include <gtest/gtest.h>

#include <string>

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
    const struct {
        QByteArray json;
        Kind kind;
        std::string message;  // empty: only the kind is checked
    } cases[] = {
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
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json.toStdString());
        try {
            decodeAppUpdate(c.json);
            ADD_FAILURE() << "decoded";
        } catch (const AppUpdateDecodeError& error) {
            EXPECT_EQ(error.kind(), c.kind);
            if (!c.message.empty()) {
                EXPECT_EQ(error.what(), c.message);
            }
        }
    }
}

}  // namespace
}  // namespace twinfold
