#include "jobs/BackupManifest.h"

#include <gtest/gtest.h>

#include <string>

namespace twinfold {
namespace {

const std::string kDigest(64, 'a');

// Names a Linux file system allows: the exact bytes must come back.
class ManifestRoundTrip : public ::testing::TestWithParam<std::string> {};

TEST_P(ManifestRoundTrip, EveryPathComesBackByteForByte) {
    const ManifestEntry entry{{GetParam(), 12, kDigest}, {{"out/" + GetParam(), 7, kDigest}, {"b.wav", 0, kDigest}}};
    const std::string line = manifestLine(entry);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_EQ(parseManifestLine(line), entry) << line;
}

INSTANTIATE_TEST_SUITE_P(Names, ManifestRoundTrip,
                         ::testing::Values("Drums/Kick In.wav", "Caf\xc3\xa9 \xf0\x9f\x8e\xb5.wav", "Caf\xe9.wav",
                                           "a\"b\\c\x01\n\x7f.wav", "\xed\xa0\x80\xc0\xaf.wav"));

// Lines a reader must refuse rather than half-trust.
class ManifestRejects : public ::testing::TestWithParam<std::string> {};

TEST_P(ManifestRejects, AnythingButAWholeRecordIsRefused) { EXPECT_EQ(parseManifestLine(GetParam()), std::nullopt); }

INSTANTIATE_TEST_SUITE_P(
    Lines, ManifestRejects,
    ::testing::Values(R"({"outputs":[],"path":"a.wav","sha256":")" + kDigest + R"(","size":1)",  // cut short
                      R"({"outputs":[],"path":"a.wav","sha256":")" + kDigest + R"(","size":1.5})",
                      R"({"outputs":[],"path":"a.wav","sha256":")" + kDigest + R"(","size":"1"})",
                      R"({"outputs":{},"path":"a.wav","sha256":")" + kDigest + R"(","size":1})",
                      R"({"outputs":[1],"path":"a.wav","sha256":")" + kDigest + R"(","size":1})",
                      R"({"outputs":[],"path":"\ud800.wav","sha256":")" + kDigest + R"(","size":1})",
                      R"({"outputs":[],"path":"a.wav","sha256":"abc","size":1})",
                      R"({"outputs":[],"path":"a.wav","sha256":")" + kDigest + R"(","size":1} x)",
                      std::string(200, '[')));

TEST(ManifestLine, ReadsWhatOtherWritersProduce) {
    const std::string line = " {\"size\" : 3, \"sha256\":\"" + kDigest +
                             "\", \"path\":\"x\\u00e9\\/y.wav\", \"pathBytes\":\"eOkveS53YXY=\", \"outputs\":[ ]} ";
    const auto entry = parseManifestLine(line);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->original.path.native(), "x\xe9/y.wav");
    EXPECT_EQ(entry->original.size, 3);
}

}  // namespace
}  // namespace twinfold
