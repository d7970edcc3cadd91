// The plan decides once which files a conversion writes: for every kind and
// option, the files written are exactly the files planned (and the proof of
// the plan holds), and every clash is found before anything is written.
#include "WorkflowFixture.h"

#include "analysis/AudioAnalyzerService.h"
#include "conversion/AudioConverterService.h"
#include "jobs/ConversionRunner.h"

#include <cmath>
#include <set>

namespace twinfold::test {
namespace {

enum class Source { dualMono, panned, leftSilent, phaseInverted, pairWav, pairMp3, sixChannels };

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
    auto stereoFile = [&](StereoKind kind) {
        writePcm(dir / "S.wav", format, stereo(kind, 4800, format.encoding, 3));
        return analyzer.analyzeFile(dir / "S.wav");
    };
    switch (source) {
    case Source::dualMono: return stereoFile(StereoKind::dualMono);
    case Source::panned: return stereoFile(StereoKind::panned);
    case Source::leftSilent: return stereoFile(StereoKind::leftSilent);
    case Source::phaseInverted: return stereoFile(StereoKind::phaseInverted);
    case Source::pairWav: {
        const Channels c = stereo(StereoKind::dualMono, 4800, format.encoding, 4);
        const SplitPair pair = writeSplitPair(dir, "K", ".wav", format, c[0], c[1]);
        return analyzer.analyzeSplitPair(pair.left, pair.right);
    }
    case Source::pairMp3: {
        const FloatChannels mono{noise(44100, 5)};
        const fs::path left = writeCompressed(dir, "K.L.mp3", mono, EncodedFormat::mp3);
        const fs::path right = writeCompressed(dir, "K.R.mp3", mono, EncodedFormat::mp3);
        return analyzer.analyzeSplitPair(left, right);
    }
    case Source::sixChannels:
        writePcm(dir / "S.wav", format, multichannel({6, {{1, 2}}, {5}}, 4800, format.encoding, 6));
        return analyzer.analyzeFile(dir / "S.wav");
    }
    throw std::logic_error("no such source");
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
    for (const std::string& name : namesIn(dir.path())) {
        if (!before.count(name)) written.insert(name);
    }
    EXPECT_EQ(written, planned);
    EXPECT_TRUE(OutputVerifier::prove(runner.proofs(), notCancelled));
}

const AppSettings kNormalised{.normalizationEnabled = true};
const PlanOptions kSplitPhase{PhaseFixOption::splitToTwo},
    kRemoveChannels{.multichannelOption = MultichannelConversionOption::removeRedundant};

INSTANTIATE_TEST_SUITE_P(
    KindsAndOptions, ConversionPlanTest,
    ::testing::Values(
        PlanCase{"dual mono", Source::dualMono, {"S_mono.wav"}},
        PlanCase{"dual mono normalised", Source::dualMono, {"S_mono.wav"}, kNormalised},
        PlanCase{"panned", Source::panned, {"S_mono.wav"}},
        PlanCase{"panned with pan in name", Source::panned, {"S_mono_50L.wav"}, {.includePanInFilename = true}},
        PlanCase{"left silent", Source::leftSilent, {"S_mono.wav"}},
        PlanCase{"phase inverted, right", Source::phaseInverted, {"S_mono.wav"}, {}, {PhaseFixOption::useRight}},
        PlanCase{"phase inverted, split", Source::phaseInverted, {"S_mono_L.wav", "S_mono_R.wav"}, {}, kSplitPhase},
        PlanCase{"split pair", Source::pairWav, {"K_mono.wav"}},
        PlanCase{"split pair normalised", Source::pairWav, {"K_mono.wav"}, kNormalised},
        PlanCase{"lossy pair copied", Source::pairMp3, {"K_mono.mp3"}},
        PlanCase{"lossy pair normalised", Source::pairMp3, {"K_mono.wav"}, kNormalised},
        PlanCase{"six channels split",
                 Source::sixChannels,
                 {"S_mono_ch1_L.wav", "S_mono_ch2_R.wav", "S_mono_ch3_C.wav", "S_mono_ch4_LFE.wav", "S_mono_ch5_Ls.wav",
                  "S_mono_ch6_Rs.wav"}},
        PlanCase{"six channels reduced", Source::sixChannels, {"S_mono.wav"}, {}, kRemoveChannels}));

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
