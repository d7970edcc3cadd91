#include "WorkflowFixture.h"

#include "analysis/AudioAnalyzerService.h"
#include "support/SyncFaults.h"

#include <cmath>

namespace twinfold::test {
namespace {

using ConvCase = ConversionState::Case;

class ConversionWorkflowTest : public WorkflowFixture {
protected:
    void SetUp() override { setPolicy(OriginalFileHandling::leaveInPlace); }

    // a.wav … d.wav, listed in that order, to be deleted once converted.
    void fourFilesToDelete(StereoKind kind) {
        for (const char* name : {"a.wav", "b.wav", "c.wav", "d.wav"}) wav(dir / name, kind);
        scanFolder();
        vm->sortResultsByFilename(true);
        setPolicy(OriginalFileHandling::deleteOriginals);
    }
    // Which of a … d have a mono file beside them; every original must still be there.
    std::string monoFilesAndOriginalsKept() const {
        std::string mono;
        for (const std::string name : {"a", "b", "c", "d"}) {
            EXPECT_TRUE(fs::exists(dir / (name + ".wav"))) << name;
            if (fs::exists(dir / (name + "_mono.wav"))) mono += name;
        }
        return mono;
    }
};

// A compressed, a phase-inverted and a multichannel file whose originals
// would be deleted: every question, in the order it is asked.
class QuestionsTest : public ConversionWorkflowTest {
protected:
    void SetUp() override {
        writeDualMonoMp3(dir.path(), "song.mp3");
        wav(dir / "flip.wav", StereoKind::phaseInverted);
        writePcm(dir / "six.wav", kPcm16, multichannel({6, {{1, 2}}, {5}}, 4800, PcmEncoding::int16, 9));
        scanFolder();
        vm->sortResultsByFilename(true);
        setPolicy(OriginalFileHandling::deleteOriginals);
        before = fileTree(dir.path());
    }
    std::map<std::string, std::string> before;
};

TEST_F(QuestionsTest, ComeInOrderWithTheFilesTheyAreAbout) {
    const auto questions = vm->questionsFor(vm->selectedResultIDs());
    std::vector<std::pair<QuestionKind, std::vector<std::string>>> asked;
    for (const ConversionQuestion& q : questions) {
        std::vector<std::string> names;
        for (const ScanResult& r : q.files) names.push_back(r.fileInfo.filename);
        asked.emplace_back(q.kind, names);
    }
    using Names = std::vector<std::string>;
    ASSERT_EQ(asked, (std::vector<std::pair<QuestionKind, Names>>{
                         {QuestionKind::lossyFormat, Names{"song.mp3"}},
                         {QuestionKind::phaseChoice, Names{"flip.wav"}},
                         {QuestionKind::multichannelChoice, Names{"six.wav"}},
                         {QuestionKind::deleteOriginals, Names{"flip.wav", "six.wav", "song.mp3"}}}));
    EXPECT_EQ(questions[3].originals, (std::vector<fs::path>{dir / "flip.wav", dir / "six.wav", dir / "song.mp3"}));

    vm->setLossyNoticeHidden(true);
    EXPECT_EQ(vm->questionsFor(vm->selectedResultIDs()).front().kind, QuestionKind::phaseChoice);
    EXPECT_TRUE(vm->questionsFor({}).empty());
}

// A question left open is never answered for the user: nothing is written
// and no original is touched.
TEST_F(QuestionsTest, AQuestionLeftOpenRefusesTheWholeConversion) {
    const std::function<void(ConversionAnswers&)> leaveOpen[] = {
        [](ConversionAnswers& a) { a.lossyAcknowledged = false; },
        [](ConversionAnswers& a) { a.phaseFix.reset(); },
        [](ConversionAnswers& a) { a.multichannel.reset(); },
        [](ConversionAnswers& a) { a.deletionConfirmed = false; },
    };
    for (const auto& leave : leaveOpen) {
        SCOPED_TRACE(&leave - leaveOpen);
        ConversionAnswers answers = allAnswered();
        leave(answers);
        finished(convertSelected(answers));
        EXPECT_EQ(vm->conversionState().kind, ConvCase::failed);
        EXPECT_TRUE(vm->errorMessage().value_or("").starts_with("Not converting: ")) << vm->errorMessage().value_or("");
        EXPECT_TRUE(fileTree(dir.path()) == before) << "the folder changed";
    }
}

// A name taken while the conversion runs stops it there, with every
// original in place and the selection kept.
TEST_F(ConversionWorkflowTest, TheFirstErrorStopsTheRunAndKeepsTheSelection) {
    fourFilesToDelete(StereoKind::rightSilent);
    vm->setConversionHooks({[this](const ScanResult& r) {
        if (r.fileInfo.filename == "b.wav") writePcm(dir / "b_mono.wav", kPcm16, {silence(10)});
    }});
    const auto selection = vm->selectedResultIDs();
    const auto results = vm->scanResults();
    finished(convertSelected());
    const std::string message = "b.wav: Output file already exists: b_mono.wav";
    EXPECT_EQ(std::tuple(vm->conversionState(), vm->errorMessage(), vm->selectedResultIDs()),
              std::tuple(ConversionState::failed(message), std::optional(message), selection));
    EXPECT_EQ(vm->scanResults(), results);  // no rescan
    EXPECT_EQ(std::tuple(monoFilesAndOriginalsKept(), pcmFileInfo(dir / "b_mono.wav").frames,
                         vm->convertedOriginalPaths().size()),
              std::tuple("ab", 10, 4u));
}

// The worker is held before its third file while progress of the first two
// still waits in the event queue: after the cancel none of it may appear.
TEST_F(ConversionWorkflowTest, CancelDuringTheThirdFileKeepsTheFinishedOutputs) {
    fourFilesToDelete(StereoKind::leftSilent);
    std::promise<void> reached, resume;
    std::shared_future<void> resumed = resume.get_future().share();
    int calls = 0;
    vm->setConversionHooks({[&](const ScanResult&) {
                                if (++calls != 3) return;
                                reached.set_value();
                                resumed.wait();
                            },
                            {}});
    const QFuture<void> running = convertSelected();
    ASSERT_EQ(reached.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready);
    const QFuture<void> cancelled = vm->cancelConversion();
    resume.set_value();
    const std::size_t statesAtCancel = conversionStates.size();
    finished(cancelled);
    EXPECT_EQ(std::tuple(running.isCanceled(), conversionStates.size(), vm->conversionState(), vm->errorMessage()),
              std::tuple(true, statesAtCancel, ConversionState::idle(), std::optional<std::string>()));
    EXPECT_EQ(monoFilesAndOriginalsKept(), "ab");
}

// An output changed after it was written, or one that cannot be forced to
// the device (gone, or its folder's entry failing to sync), must stop
// everything before any original is touched, naming the file.
enum class Fault { tampered, notDurable, folderNotDurable };

class ProofTest : public ConversionWorkflowTest,
                  public ::testing::WithParamInterface<std::tuple<Fault, OriginalFileHandling>> {};

TEST_P(ProofTest, AFaultyOutputFailsTheRunAndTheOriginalsStay) {
    const auto [fault, policy] = GetParam();
    wav(dir / "a.wav", StereoKind::dualMono);
    wav(dir / "b.wav", StereoKind::rightSilent);
    scanFolder();
    setPolicy(policy);
    std::optional<FolderSyncFailure> folderSyncFailure;
    vm->setConversionHooks({{}, [&, fault](const std::vector<fs::path>& outputs) {
                                if (fault == Fault::notDurable) fs::remove(outputs.back());
                                if (fault == Fault::folderNotDurable) folderSyncFailure.emplace();
                                if (fault == Fault::tampered)  // one step of a 16-bit sample
                                    rewriteInts(outputs.back(), PcmEncoding::int16, [](auto& s) { s[100] += 1 << 16; });
                            }});
    finished(convertSelected());
    folderSyncFailure.reset();
    ASSERT_EQ(vm->conversionState().kind, ConvCase::failed);
    const std::string& message = vm->conversionState().message;
    EXPECT_NE(message.find(fault == Fault::folderNotDurable ? "a_mono.wav" : "b_mono.wav"), std::string::npos)
        << message;
    EXPECT_EQ(vm->errorMessage(), message);
    EXPECT_TRUE(fs::exists(dir / "a.wav") && fs::exists(dir / "b.wav"));
    for (const auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_FALSE(entry.path().filename().string().starts_with("Twinfold Backup"));
    EXPECT_EQ(vm->selectedResultIDs().size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ProofTest,
    ::testing::Combine(::testing::Values(Fault::tampered, Fault::notDurable, Fault::folderNotDurable),
                       ::testing::Values(OriginalFileHandling::moveToBackup, OriginalFileHandling::deleteOriginals)));

// ---- the plan ---------------------------------------------------------------

// Where the plan alone decides: the channel each side of a phase-inverted
// split comes from (the proof reads it), and whether a pair's side is copied
// as it is or rewritten as PCM, which an encoded format's name must not carry.
TEST(ConversionPlanTest, SplitsAndPairSidesArePlannedAsTheyAreWritten) {
    TempDir dir;
    AudioAnalyzerService analyzer(std::pow(10.0f, -96.0f / 20.0f));
    const PcmFormat format{PcmContainer::wav, PcmEncoding::int16, 48000};
    writePcm(dir / "S.wav", format, stereo(StereoKind::phaseInverted, 4800, format.encoding, 3));
    const FloatChannels mono{noise(44100, 5)};
    const ScanResult inverted = analyzer.analyzeFile(dir / "S.wav");
    const ScanResult pair = analyzer.analyzeSplitPair(writeCompressed(dir.path(), "K.L.mp3", mono, EncodedFormat::mp3),
                                                      writeCompressed(dir.path(), "K.R.mp3", mono, EncodedFormat::mp3));
    const auto outputs = [](const ScanResult& r, const AppSettings& settings, const PlanOptions& options) {
        return planConversion({r}, settings, options).items.at(0).outputs;
    };
    using Outputs = std::vector<PlannedOutput>;
    EXPECT_EQ(outputs(inverted, {}, {PhaseFixOption::splitToTwo}),
              (Outputs{{dir / "S_mono_L.wav", {0}, {}}, {dir / "S_mono_R.wav", {1}, {}}}));
    EXPECT_EQ(outputs(pair, {}, {}), (Outputs{{dir / "K_mono.mp3", {0}, {}}}));
    EXPECT_EQ(outputs(pair, {.normalizationEnabled = true}, {}), (Outputs{{dir / "K_mono.wav", {0}, -6.0f}}));
}

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

    const auto ontoSource = planConversion({results[0]}, {.namingSuffix = ""}, {}).clashes();
    ASSERT_EQ(ontoSource.size(), 1u);
    EXPECT_EQ(std::pair(ontoSource[0].kind, ontoSource[0].text()),
              std::pair(ClashKind::overwritesSource,
                        std::string("Song.wav: the output would replace its source (the suffix is empty)")));
}

}  // namespace
}  // namespace twinfold::test
