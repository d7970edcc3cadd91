// twinfold-cli show, end to end: the sentences and numbers of each file, its
// JSON form, and the difference file.
#include "CliRunner.h"
#include "support/PcmFixtures.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace twinfold::test {
namespace {

using testing::HasSubstr;

TEST(CliShow, ExplainsEachVerdictInTextAndJson) {
    TempDir dir;
    const PcmFormat fmt{PcmContainer::wav, PcmEncoding::int16, 48000};
    writePcm(dir / "dual.wav", fmt, stereo(StereoKind::dualMono, 4000, fmt.encoding));
    writePcm(dir / "inverted.wav", fmt, stereo(StereoKind::phaseInverted, 4000, fmt.encoding));
    writePcm(dir / "silent.wav", fmt, stereo(StereoKind::rightSilent, 4000, fmt.encoding));
    const Cli cli;
    const std::vector<std::string> files{(dir / "dual.wav").string(), (dir / "inverted.wav").string(),
                                         (dir / "silent.wav").string()};
    std::vector<std::string> arguments{"show"};
    arguments.insert(arguments.end(), files.begin(), files.end());
    const CliRun text = cli.run(arguments);
    EXPECT_EQ(text.exitCode, 0) << text.err;
    for (const char* part :
         {"dual.wav: Dual Mono", "Left and right are bit-identical", "Left: peak ", "first differing frame none",
          "Left + right is silent everywhere: phase-inverted", "Right never rises above \u221296.0 dBFS"})
        EXPECT_THAT(text.out, HasSubstr(part));

    arguments.push_back("--json");
    const CliRun json = cli.run(arguments);
    EXPECT_EQ(json.exitCode, 0) << json.err;
    const QJsonArray results = QJsonDocument::fromJson(QByteArray::fromStdString(json.out))["results"].toArray();
    ASSERT_EQ(results.size(), 3);
    const QJsonObject pair = results[0]["evidence"]["pair"].toObject();
    EXPECT_TRUE(pair["firstDifferingFrame"].isNull());
    EXPECT_TRUE(pair["maxDifferencedBFS"].isNull());  // no difference at all
    EXPECT_EQ(results[1]["sentences"][0].toString(), "Left + right is silent everywhere: phase-inverted");
    EXPECT_TRUE(results[2]["evidence"]["channels"][1]["silent"].toBool());

    const CliRun difference = cli.run({"show", files[1], "--difference", (dir / "sum.wav").string()});
    EXPECT_EQ(difference.exitCode, 0) << difference.err;
    const auto sum = readFloats(dir / "sum.wav");
    ASSERT_EQ(sum.size(), 1u);
    EXPECT_EQ(sum[0], std::vector<float>(4000, 0.0f));
    const CliRun again = cli.run({"show", files[1], "--difference", (dir / "sum.wav").string()});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_THAT(again.err, HasSubstr("sum.wav"));

    const QJsonObject scanned = resultNamed(cli.scanJson({(dir / "dual.wav").string()}), "dual.wav");
    EXPECT_EQ(scanned["evidence"]["channels"].toArray().size(), 2);
}

}  // namespace
}  // namespace twinfold::test
