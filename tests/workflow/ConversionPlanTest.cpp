#include "WorkflowFixture.h"

#include "analysis/AudioAnalyzerService.h"
#include "conversion/AudioConverterService.h"
#include "jobs/ConversionRunner.h"

#include <cmath>

namespace twinfold::test {
namespace {

// The files a conversion writes are exactly the files planned, and the proof
// of the plan holds, where the plan's own choices decide: a split of a
// phase-inverted file, and a pair's side copied or rewritten as PCM.
enum class Source { phaseInverted, pairWav, pairMp3 };

struct PlanCase {
    const char* name;
    Source source;
    std::set<std::string> planned;  // output names
    AppSettings settings = {};
    PlanOptions options = {};
};

void PrintTo(const PlanCase& c, std::ostream* out) { *out << c.name; }

// The scan of a source of the given kind in `dir`: the one result it gives.
ScanResult scanned(const fs::path& dir, Source source) {
    AudioAnalyzerService analyzer(std::pow(10.0f, -96.0f / 20.0f));
    const PcmFormat format{PcmContainer::wav, PcmEncoding::int16, 48000};
    if (source == Source::phaseInverted) {
        writePcm(dir / "S.wav", format, stereo(StereoKind::phaseInverted, 4800, format.encoding, 3));
        return analyzer.analyzeFile(dir / "S.wav");
    }
    if (source == Source::pairWav) {
        const Channels c = stereo(StereoKind::dualMono, 4800, format.encoding, 4);
        const SplitPair pair = writeSplitPair(dir, "K", ".wav", format, c[0], c[1]);
        return analyzer.analyzeSplitPair(pair.left, pair.right);
    }
    const FloatChannels mono{noise(44100, 5)};
    return analyzer.analyzeSplitPair(writeCompressed(dir, "K.L.mp3", mono, EncodedFormat::mp3),
                                     writeCompressed(dir, "K.R.mp3", mono, EncodedFormat::mp3));
}

std::set<std::string> namesIn(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
    return names;
}

class ConversionPlanTest : public ::testing::TestWithParam<PlanCase> {};

TEST_P(ConversionPlanTest, WritesExactlyTheFilesItPlans) {
    const PlanCase& c = GetParam();
    TempDir dir;
    const ScanResult result = scanned(dir.path(), c.source);
    ASSERT_TRUE(result.isConvertible()) << result.statusText();
    const ConversionPlan plan = planConversion({result}, c.settings, c.options);
    ASSERT_EQ(plan.items.size(), 1u);
    EXPECT_TRUE(plan.clashes().empty());
    std::set<std::string> planned;
    for (const PlannedOutput& output : plan.items[0].outputs) planned.insert(output.path.filename().string());
    EXPECT_EQ(planned, c.planned);

    const std::set<std::string> before = namesIn(dir.path());
    AudioConverterService converter;
    const std::atomic<bool> notCancelled{false};
    const ConversionJob job{plan, c.settings};
    ConversionRunner runner(converter, job, notCancelled, {});
    ASSERT_TRUE(runner.run());
    std::set<std::string> written;
    for (const std::string& name : namesIn(dir.path()))
        if (!before.count(name)) written.insert(name);
    EXPECT_EQ(written, planned);
    EXPECT_TRUE(OutputVerifier::prove(runner.proofs(), notCancelled));
}

const AppSettings kNormalised{.normalizationEnabled = true};

INSTANTIATE_TEST_SUITE_P(
    Choices, ConversionPlanTest,
    ::testing::Values(PlanCase{"phase inverted, split",
                               Source::phaseInverted,
                               {"S_mono_L.wav", "S_mono_R.wav"},
                               {},
                               {PhaseFixOption::splitToTwo}},
                      PlanCase{"split pair normalised", Source::pairWav, {"K_mono.wav"}, kNormalised},
                      PlanCase{"lossy pair copied", Source::pairMp3, {"K_mono.mp3"}},
                      PlanCase{"lossy pair normalised", Source::pairMp3, {"K_mono.wav"}, kNormalised}));

// Two sources to one name, a taken name, a name too long and an output onto
// its own source are all found at once, before anything is written.
TEST(ConversionPlanClashTest, EveryClashIsFoundUpFront) {
    TempDir dir;
    const PcmFormat format{PcmContainer::wav, PcmEncoding::int16, 48000};
    AudioAnalyzerService analyzer(std::pow(10.0f, -96.0f / 20.0f));
    std::vector<ScanResult> results;
    const std::string longName(250, 'n');
    for (const std::string& name : std::vector<std::string>{"Song.wav", "Taken.wav", longName + ".wav"}) {
        writePcm(dir / name, format, stereo(StereoKind::dualMono, 2000, format.encoding, 1));
        results.push_back(analyzer.analyzeFile(dir / name));
    }
    const Channels c = stereo(StereoKind::dualMono, 2000, format.encoding, 2);
    const SplitPair pair = writeSplitPair(dir.path(), "Song", ".wav", format, c[0], c[1]);
    results.push_back(analyzer.analyzeSplitPair(pair.left, pair.right));
    writePcm(dir / "Taken_mono.wav", format, {silence(10)});

    const auto clashes = planConversion(results, AppSettings{}, {}).clashes();
    const std::set<std::pair<std::string, ClashKind>> expected{{"Song_mono.wav", ClashKind::sharedOutput},
                                                               {"Taken_mono.wav", ClashKind::exists},
                                                               {longName + "_mono.wav", ClashKind::nameTooLong}};
    std::set<std::pair<std::string, ClashKind>> found;
    for (const PlannedClash& clash : clashes) found.insert({clash.output.filename().string(), clash.kind});
    EXPECT_EQ(found, expected);
    EXPECT_EQ(clashes.size(), 4u);  // both sources of Song_mono.wav

    AppSettings noSuffix;
    noSuffix.namingSuffix = "";
    const auto ontoSource = planConversion({results[0]}, noSuffix, {}).clashes();
    ASSERT_EQ(ontoSource.size(), 1u);
    EXPECT_EQ(ontoSource[0].kind, ClashKind::overwritesSource);
    EXPECT_EQ(ontoSource[0].text(), "Song.wav: the output would replace its source (the suffix is empty)");
}

}  // namespace
}  // namespace twinfold::test
