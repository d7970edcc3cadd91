#include "WorkflowFixture.h"

#include "conversion/OutputNaming.h"

#include <future>

namespace twinfold::test {
namespace {

using ConvCase = ConversionState::Case;

class ConversionWorkflowTest : public WorkflowFixture {
protected:
    void SetUp() override { setPolicy(OriginalFileHandling::leaveInPlace); }

    std::vector<std::int32_t> channelOf(const fs::path& file, int channel) { return readStoredInts(file).at(channel); }

    std::size_t countOf(ConvCase kind) const {
        return std::size_t(std::count_if(conversionStates.begin(), conversionStates.end(),
                                         [&](const ConversionState& s) { return s.kind == kind; }));
    }
};

TEST_F(ConversionWorkflowTest, DualMonoComesFirstAndSilentLeftKeepsTheRight) {
    for (const char* name : {"a.wav", "c.wav", "e.wav"}) wav(dir / name, StereoKind::dualMono);
    for (const char* name : {"b.wav", "d.wav"}) wav(dir / name, StereoKind::leftSilent);
    scanFolder();
    std::vector<fs::path> expected;
    for (StereoKind kind : {StereoKind::dualMono, StereoKind::leftSilent}) {
        for (const ScanResult& r : vm->scanResults()) {
            const bool dual = r.isDualMono;
            if (dual == (kind == StereoKind::dualMono)) expected.push_back(outputURL(r.fileInfo.url, vm->settings()));
        }
    }
    finished(vm->convertSelected());
    ASSERT_EQ(convertedOutputs(), expected);
    int highest = 0;
    for (const ConversionState& s : conversionStates) {
        if (s.kind != ConvCase::converting) continue;
        EXPECT_EQ(s.total, 5);
        highest = std::max(highest, s.completed);
    }
    EXPECT_EQ(highest, 5);
    EXPECT_EQ(channelOf(dir / "b_mono.wav", 0), channelOf(dir / "b.wav", 1));
    EXPECT_EQ(channelOf(dir / "a_mono.wav", 0), channelOf(dir / "a.wav", 0));
}

class PanSuffixTest : public ConversionWorkflowTest, public ::testing::WithParamInterface<bool> {};

TEST_P(PanSuffixTest, PannedOutputsCarryThePanOnlyWhenAsked) {
    wav(dir / "Pad.wav", StereoKind::panned);
    scanFolder();
    const ScanResult pad = resultNamed("Pad.wav");
    ASSERT_TRUE(pad.isPannedMono && pad.pannedMonoPanPercent);
    AppSettings settings = vm->settings();
    settings.includePanInFilename = GetParam();
    vm->overrideSettings(settings);
    finished(vm->convertSelected());
    const std::string suffix = GetParam() ? numbered("_", *pad.pannedMonoPanPercent, "L") : "";
    const fs::path output = dir / ("Pad_mono" + suffix + ".wav");
    EXPECT_EQ(convertedOutputs(), std::vector<fs::path>{output});
    EXPECT_EQ(channelOf(output, 0), channelOf(dir / "Pad.wav", 0));
}

INSTANTIATE_TEST_SUITE_P(IncludePan, PanSuffixTest, ::testing::Bool());

TEST_F(ConversionWorkflowTest, GatesComeInOrderAndReadTheSelectionAgain) {
    writeDualMonoMp3(dir.path(), "song.mp3");
    wav(dir / "flip.wav", StereoKind::phaseInverted);
    sixChannels(dir / "six.wav");
    scanFolder();
    ASSERT_EQ(vm->selectedResultIDs().size(), 3u);

    finished(vm->convertSelected());
    EXPECT_TRUE(vm->showLossyFormatNotice());
    EXPECT_FALSE(vm->showPhaseFixOptions() || vm->showMultichannelOptions());
    EXPECT_TRUE(conversionStates.empty());

    vm->acknowledgeLossyFormatNotice(false);
    finished(vm->lossyFormatNoticeClosed());
    EXPECT_FALSE(vm->showLossyFormatNotice() || vm->lossyNoticeAcknowledged());
    EXPECT_TRUE(vm->showPhaseFixOptions());
    ASSERT_EQ(vm->pendingPhaseInvertedResults().size(), 1u);
    EXPECT_EQ(vm->pendingPhaseInvertedResults()[0].fileInfo.filename, "flip.wav");

    vm->toggleSelection(resultNamed("song.mp3").id);  // changed between two sheets
    vm->setSelectedPhaseFixOption(PhaseFixOption::splitToTwo);
    vm->setPhaseFixAcknowledged(true);
    finished(vm->phaseFixOptionsClosed());
    EXPECT_TRUE(vm->showMultichannelOptions());
    EXPECT_FALSE(vm->showLossyFormatNotice());
    ASSERT_EQ(vm->pendingMultichannelResults().size(), 1u);

    vm->setSelectedMultichannelOption(MultichannelConversionOption::removeRedundant);
    vm->setMultichannelAcknowledged(true);
    finished(vm->multichannelOptionsClosed());
    const std::vector<fs::path> outputs{dir / "flip_mono_L.wav", dir / "flip_mono_R.wav", dir / "six_mono.wav"};
    EXPECT_EQ(convertedOutputs(), outputs);
    EXPECT_FALSE(fs::exists(dir / "song_mono.wav"));
    EXPECT_FALSE(hideLossyFormatNotice());
    // Channels 2 (a copy of 1) and 5 (silent) are gone; 0, 1, 3, 4 stay in order.
    const auto source = readStoredInts(dir / "six.wav"), reduced = readStoredInts(outputs[2]);
    ASSERT_EQ(reduced.size(), 4u);
    EXPECT_EQ(reduced, (std::vector<std::vector<std::int32_t>>{source[0], source[1], source[3], source[4]}));
    EXPECT_EQ(channelOf(outputs[1], 0), channelOf(dir / "flip.wav", 1));
}

TEST_F(ConversionWorkflowTest, ALossySourceIsConvertedAtOnceOnceTheNoticeIsHidden) {
    writeDualMonoMp3(dir.path(), "song.mp3");
    scanFolder();
    finished(vm->convertSelected());
    vm->acknowledgeLossyFormatNotice(true);
    EXPECT_TRUE(hideLossyFormatNotice());
    vm->setShowLossyFormatNotice(false);
    vm->setLossyNoticeAcknowledged(false);  // the sheet closed without resuming
    setPolicy(OriginalFileHandling::deleteOriginals);
    finished(vm->convertSelected());
    EXPECT_FALSE(vm->showLossyFormatNotice());
    EXPECT_EQ(convertedOutputs(), std::vector<fs::path>{dir / "song_mono.wav"});
    EXPECT_EQ(pcmFileInfo(dir / "song_mono.wav").channels, 1);
    EXPECT_FALSE(fs::exists(dir / "song.mp3"));  // the decoded output passed the read-back check
}

TEST_F(ConversionWorkflowTest, CancellingThePhaseSheetStartsNothing) {
    wav(dir / "flip.wav", StereoKind::phaseInverted);
    scanFolder();
    const auto selection = vm->selectedResultIDs();
    finished(vm->convertSelected());
    ASSERT_TRUE(vm->showPhaseFixOptions());
    finished(vm->phaseFixOptionsClosed());
    EXPECT_TRUE(vm->pendingPhaseInvertedResults().empty());
    EXPECT_EQ(vm->selectedResultIDs(), selection);
    EXPECT_TRUE(conversionStates.empty());
    finished(vm->convertSelected());
    EXPECT_TRUE(vm->showPhaseFixOptions());
}

TEST_F(ConversionWorkflowTest, TheFirstErrorStopsTheRunAndKeepsTheSelection) {
    for (const char* name : {"a.wav", "b.wav", "c.wav", "d.wav"}) wav(dir / name, StereoKind::rightSilent);
    scanFolder();
    vm->sortResultsByFilename(true);
    writePcm(dir / "b_mono.wav", kPcm16, {silence(10)});  // the second output's name is taken
    setPolicy(OriginalFileHandling::deleteOriginals);
    const auto selection = vm->selectedResultIDs();
    const auto results = vm->scanResults();
    finished(vm->convertSelected());
    const std::string message = "Output file already exists: b_mono.wav";
    EXPECT_EQ(vm->conversionState(), ConversionState::failed(message));
    EXPECT_EQ(vm->errorMessage(), message);
    EXPECT_EQ(vm->selectedResultIDs(), selection);
    EXPECT_EQ(vm->scanResults(), results);  // no rescan
    EXPECT_TRUE(fs::exists(dir / "a_mono.wav"));
    EXPECT_FALSE(fs::exists(dir / "c_mono.wav") || fs::exists(dir / "d_mono.wav"));
    for (const char* name : {"a.wav", "b.wav", "c.wav", "d.wav"}) EXPECT_TRUE(fs::exists(dir / name)) << name;
    EXPECT_EQ(vm->convertedOriginalURLs().size(), 4u);
}

// The worker is held before its third file while progress of the first two
// still waits in the event queue: after the cancel none of it may appear.
TEST_F(ConversionWorkflowTest, CancelDuringTheThirdFileKeepsTheFinishedOutputs) {
    for (const char* name : {"a.wav", "b.wav", "c.wav", "d.wav"}) wav(dir / name, StereoKind::leftSilent);
    scanFolder();
    vm->sortResultsByFilename(true);
    setPolicy(OriginalFileHandling::deleteOriginals);
    std::promise<void> reached, resume;
    std::shared_future<void> resumed = resume.get_future().share();
    int calls = 0;
    vm->setConversionHooks({[&](const ScanResult&) {
                                if (++calls != 3) return;
                                reached.set_value();
                                resumed.wait();
                            },
                            {}});
    const QFuture<void> running = vm->convertSelected();
    ASSERT_EQ(reached.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready);
    const QFuture<void> cancelled = vm->cancelConversion();
    resume.set_value();
    const std::size_t statesAtCancel = conversionStates.size();
    finished(cancelled);
    EXPECT_TRUE(running.isCanceled());
    EXPECT_EQ(conversionStates.size(), statesAtCancel);
    EXPECT_EQ(vm->conversionState(), ConversionState::idle());
    EXPECT_EQ(vm->errorMessage(), std::nullopt);
    EXPECT_TRUE(fs::exists(dir / "a_mono.wav") && fs::exists(dir / "b_mono.wav"));
    EXPECT_FALSE(fs::exists(dir / "c_mono.wav") || fs::exists(dir / "d_mono.wav"));
    for (const char* name : {"a.wav", "b.wav", "c.wav", "d.wav"}) EXPECT_TRUE(fs::exists(dir / name)) << name;
}

TEST_F(ConversionWorkflowTest, SuccessMovesTheOriginalsAndRescans) {
    setPolicy(OriginalFileHandling::moveToBackup);
    vm->setBackupTimeSource([] { return QDateTime(QDate(2025, 3, 7), QTime(14, 5)); });
    wav(dir / "a.wav", StereoKind::dualMono);
    const Signal side = noise(4800, PcmEncoding::int16, 77);
    writeSplitPair(dir.path(), "Kick", ".wav", kPcm16, side, side);
    scanFolder();
    finished(vm->convertSelected());
    const fs::path backup = dir / "Twinfold Backup 2025-03-07 14:05";
    for (const char* name : {"a.wav", "Kick.L.wav", "Kick.R.wav"}) EXPECT_TRUE(fs::exists(backup / name)) << name;
    EXPECT_TRUE(fs::exists(dir / "a_mono.wav") && fs::exists(dir / "Kick_mono.wav"));
    EXPECT_TRUE(vm->convertedOriginalURLs().empty());
    EXPECT_EQ(countOf(ConvCase::completed), 1u);
    EXPECT_EQ(vm->conversionState(), ConversionState::idle());  // the rescan started afresh
    EXPECT_EQ(vm->scanState(), ScanState::completed());
    // The rescan lists the new mono files and the moved originals; only the
    // originals are convertible, so only they are selected.
    ASSERT_EQ(vm->scanResults().size(), 4u);
    std::set<Uuid> originals;
    for (const ScanResult& r : vm->scanResults()) {
        if (r.fileInfo.url.parent_path() == backup) originals.insert(r.id);
    }
    EXPECT_EQ(originals.size(), 2u);
    EXPECT_EQ(vm->selectedResultIDs(), originals);
}

// An output changed after it was written must stop everything before the
// originals are touched.
class ProofTest : public ConversionWorkflowTest, public ::testing::WithParamInterface<OriginalFileHandling> {};

TEST_P(ProofTest, ATamperedOutputFailsAndTheOriginalsStay) {
    wav(dir / "a.wav", StereoKind::dualMono);
    wav(dir / "b.wav", StereoKind::rightSilent);
    scanFolder();
    setPolicy(GetParam());
    vm->setConversionHooks({{}, [](const std::vector<fs::path>& outputs) {
                                const fs::path victim = outputs.back();
                                auto ints = readStoredInts(victim);
                                ints[0][100] += 1 << 16;  // one step of a 16-bit sample
                                Channels channel(1);
                                for (std::int32_t v : ints[0]) channel[0].push_back(v / 2147483648.0);
                                writePcm(victim, {PcmContainer::wav, PcmEncoding::int16, 48000}, channel);
                            }});
    finished(vm->convertSelected());
    ASSERT_EQ(vm->conversionState().kind, ConvCase::failed);
    EXPECT_NE(vm->conversionState().message.find("b_mono.wav"), std::string::npos) << vm->conversionState().message;
    EXPECT_EQ(vm->errorMessage(), vm->conversionState().message);
    EXPECT_TRUE(fs::exists(dir / "a.wav") && fs::exists(dir / "b.wav"));
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        EXPECT_EQ(entry.path().filename().string().rfind("Twinfold Backup", 0), std::string::npos);
    }
    EXPECT_EQ(vm->selectedResultIDs().size(), 2u);
    const bool verifying = std::any_of(conversionStates.begin(), conversionStates.end(), [](const ConversionState& s) {
        return s.currentFile == "Verifying a.wav";
    });
    EXPECT_TRUE(verifying);
}

// An output that cannot be forced to the device (here: gone) stops the run
// before any original is touched, naming the file.
TEST_P(ProofTest, AnOutputThatCannotBeMadeDurableFailsAndTheOriginalsStay) {
    wav(dir / "a.wav", StereoKind::dualMono);
    scanFolder();
    setPolicy(GetParam());
    vm->setConversionHooks({{}, [](const std::vector<fs::path>& outputs) { fs::remove(outputs.front()); }});
    finished(vm->convertSelected());
    ASSERT_EQ(vm->conversionState().kind, ConvCase::failed);
    EXPECT_NE(vm->conversionState().message.find("a_mono.wav"), std::string::npos) << vm->conversionState().message;
    EXPECT_TRUE(fs::exists(dir / "a.wav"));
    EXPECT_EQ(vm->selectedResultIDs().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Policies, ProofTest,
                         ::testing::Values(OriginalFileHandling::moveToBackup, OriginalFileHandling::deleteOriginals));

}  // namespace
}  // namespace twinfold::test
