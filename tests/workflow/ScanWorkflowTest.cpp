#include "WorkflowFixture.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <future>
#include <memory>
#include <tuple>

namespace twinfold::test {
namespace {

using Case = ScanState::Case;

class ScanWorkflowTest : public WorkflowFixture {};

TEST_F(ScanWorkflowTest, DroppingOneFolderScansItLikeChoosingIt) {
    wav(dir / "a.wav", StereoKind::dualMono);
    scan({dir.path()});
    EXPECT_EQ(vm->selectedFolderURL(), dir.path());
    EXPECT_EQ(vm->sourceDescription(), std::nullopt);
    EXPECT_EQ(vm->scanState(), ScanState::completed());
    EXPECT_EQ(resultNames(), std::vector<std::string>{"a.wav"});
    EXPECT_EQ(scanStates.front(), ScanState::scanning(0, "Finding audio files..."));
}

TEST_F(ScanWorkflowTest, DroppingFoldersAndFilesDescribesTheItems) {
    wav(dir / "one" / "a.wav", StereoKind::dualMono);
    wav(dir / "two" / "b.wav", StereoKind::trueStereo);
    const fs::path loose = wav(dir / "c.wav", StereoKind::leftSilent);
    scan({dir / "one", dir / "two", loose});
    EXPECT_EQ(vm->selectedFolderURL(), std::nullopt);
    EXPECT_EQ(vm->sourceDescription(), "3 items dropped");
    EXPECT_EQ(vm->scanResults().size(), 3u);
}

TEST_F(ScanWorkflowTest, DroppingFilesShowsTheirFolder) {
    const fs::path a = wav(dir / "sub" / "a.wav", StereoKind::dualMono);
    const fs::path b = wav(dir / "sub" / "b.wav", StereoKind::dualMono);
    const fs::path c = wav(dir / "sub" / "c.wav", StereoKind::dualMono);
    scan({a, b, c});
    EXPECT_EQ(vm->selectedFolderURL(), dir / "sub");
    EXPECT_EQ(vm->sourceDescription(), std::nullopt);
    EXPECT_EQ(vm->scanResults().size(), 3u);
}

TEST_F(ScanWorkflowTest, RelativePathsAreTakenFromTheWorkingFolder) {
    wav(dir / "sub" / "a.wav", StereoKind::dualMono);
    const fs::path previous = fs::current_path();
    fs::current_path(dir.path());
    const QFuture<void> done = vm->scanDroppedItems({"sub/./a.wav"});
    fs::current_path(previous);
    finished(done);
    EXPECT_EQ(vm->selectedFolderURL(), dir / "sub");
    EXPECT_EQ(vm->scanResults().at(0).fileInfo.url, dir / "sub" / "a.wav");
}

TEST_F(ScanWorkflowTest, NothingUsableDroppedOnlySetsTheMessage) {
    wav(dir / "a.wav", StereoKind::dualMono);
    scanFolder();
    const auto results = vm->scanResults();
    std::ofstream(dir / "notes.txt") << "text";
    const std::size_t statesBefore = scanStates.size();
    const QFuture<void> done = vm->scanDroppedItems({dir / "notes.txt", dir / "missing.wav"});
    EXPECT_TRUE(done.isFinished());
    EXPECT_EQ(vm->errorMessage(),
              "No supported audio files found. Twinfold supports WAV, AIFF, MP3, and M4A files.");
    EXPECT_EQ(vm->scanResults(), results);
    EXPECT_EQ(scanStates.size(), statesBefore);
    EXPECT_EQ(vm->selectedFolderURL(), dir.path());
}

TEST_F(ScanWorkflowTest, TheSameFileDroppedSeveralWaysIsAnalysedOnce) {
    const fs::path a = wav(dir / "a.wav", StereoKind::dualMono);
    scan({a, dir.path(), dir / "." / "a.wav", a});
    EXPECT_EQ(resultNames(), std::vector<std::string>{"a.wav"});
}

TEST_F(ScanWorkflowTest, EmptyFolderCompletesWithNothing) {
    scanFolder();
    EXPECT_EQ(vm->scanState(), ScanState::completed());
    EXPECT_TRUE(vm->scanResults().empty());
    EXPECT_TRUE(vm->selectedResultIDs().empty());
}

TEST_F(ScanWorkflowTest, ANewScanSilencesTheOneItReplaces) {
    for (int i = 0; i < 8; ++i) wav(dir / "old" / numbered("old", i, ".wav"), StereoKind::dualMono, 48000);
    wav(dir / "new" / "new.wav", StereoKind::leftSilent);
    std::vector<std::vector<ScanResult>> published;
    QObject::connect(vm.get(), &ScanViewModel::scanResultsChanged, [&] { published.push_back(vm->scanResults()); });
    // No event is processed between the two calls, so every report of the
    // first scan is still queued when it is cancelled.
    const QFuture<void> first = vm->scanDroppedItems({dir / "old"});
    const QFuture<void> second = vm->scanDroppedItems({dir / "new"});
    finished(second);
    finished(first);
    EXPECT_TRUE(first.isCanceled());
    EXPECT_EQ(resultNames(), std::vector<std::string>{"new.wav"});
    for (const auto& list : published) {
        for (const ScanResult& r : list) EXPECT_EQ(r.fileInfo.filename, "new.wav");
    }
    for (const ScanState& state : scanStates) EXPECT_EQ(state.currentFile.find("old"), std::string::npos);
}

TEST_F(ScanWorkflowTest, CancelShowsIdleAndPublishesNothingMore) {
    for (int i = 0; i < 6; ++i) wav(dir / numbered("f", i, ".wav"), StereoKind::dualMono, 48000);
    const QFuture<void> running = vm->scanDroppedItems({dir.path()});
    const QFuture<void> cancelled = vm->cancelScan();
    EXPECT_EQ(vm->scanState(), ScanState::idle());
    const std::size_t statesAtCancel = scanStates.size();
    finished(cancelled);
    EXPECT_TRUE(running.isFinished());
    EXPECT_EQ(scanStates.size(), statesAtCancel);
    EXPECT_EQ(vm->scanState(), ScanState::idle());
    EXPECT_TRUE(vm->scanResults().empty());
    EXPECT_EQ(vm->errorMessage(), std::nullopt);
}

TEST_F(ScanWorkflowTest, DestroyingTheViewModelEndsItsTasksQuietly) {
    for (int i = 0; i < 6; ++i) wav(dir / numbered("f", i, ".wav"), StereoKind::dualMono, 48000);
    const QFuture<void> running = vm->scanDroppedItems({dir.path()});
    vm.reset();
    finished(running);  // its queued reports must go without touching the view model
    EXPECT_TRUE(running.isCanceled());
}

TEST_F(ScanWorkflowTest, OnlyConvertibleResultsAreSelected) {
    wav(dir / "dual.wav", StereoKind::dualMono);
    wav(dir / "stereo.wav", StereoKind::trueStereo);
    wav(dir / "quiet.wav", StereoKind::bothSilent);
    writePcm(dir / "mono.wav", kPcm16, {noise(4800, PcmEncoding::int16, 9)});
    sixChannels(dir / "six.wav");
    writePcm(dir / "four.wav", kPcm16, multichannel({4, {}, {}}, 4800, PcmEncoding::int16, 3));
    scanFolder();
    ASSERT_EQ(vm->scanResults().size(), 6u);
    const Uuid dual = resultNamed("dual.wav").id, six = resultNamed("six.wav").id;
    EXPECT_EQ(vm->selectedResultIDs(), (std::set<Uuid>{dual, six}));
    EXPECT_EQ(vm->totalPotentialSavings(),
              resultNamed("dual.wav").potentialSavings + resultNamed("six.wav").potentialSavings);
    EXPECT_EQ(vm->stereoResults().size(), 1u);
    EXPECT_EQ(vm->noAudioContentResults().size(), 1u);
    EXPECT_EQ(vm->multichannelResults().size(), 2u);

    vm->toggleSelection(resultNamed("stereo.wav").id);  // not convertible: nothing happens
    vm->toggleSelection(resultNamed("four.wav").id);
    EXPECT_EQ(vm->selectedResultIDs(), (std::set<Uuid>{dual, six}));
    vm->toggleSelection(dual);
    EXPECT_EQ(vm->selectedResultIDs(), std::set<Uuid>{six});
    ASSERT_TRUE(vm->selectedMultichannelResult());
    EXPECT_EQ(vm->selectedMultichannelResult()->id, six);
    vm->setSelectedResultIDs({six, resultNamed("four.wav").id});
    EXPECT_EQ(vm->selectedMultichannelResult(), std::nullopt);
    vm->selectAllConvertible();
    EXPECT_EQ(vm->selectedResultIDs(), (std::set<Uuid>{dual, six}));
}

TEST_F(ScanWorkflowTest, SplitPairsReportAfterTheSingleFiles) {
    for (int i = 0; i < 10; ++i) wav(dir / numbered("single", i, ".wav"), StereoKind::trueStereo);
    const Signal kick = noise(4800, PcmEncoding::int16, 40), snare = noise(4800, PcmEncoding::int16, 41);
    writeSplitPair(dir.path(), "Kick", ".wav", kPcm16, kick, kick);
    writeSplitPair(dir.path(), "Snare", ".wav", kPcm16, snare, silence(4800));
    scanFolder();
    ASSERT_EQ(vm->scanResults().size(), 12u);
    ASSERT_GE(scanStates.size(), 3u);
    const ScanState& last = scanStates[scanStates.size() - 2];
    const ScanState& beforeLast = scanStates[scanStates.size() - 3];
    EXPECT_DOUBLE_EQ(beforeLast.progress, 11.0 / 12.0);
    EXPECT_DOUBLE_EQ(last.progress, 12.0 / 12.0);
    EXPECT_EQ((std::set<std::string>{beforeLast.currentFile, last.currentFile}),
              (std::set<std::string>{"Kick.wav", "Snare.wav"}));
    EXPECT_EQ(scanStates.back(), ScanState::completed());
    EXPECT_EQ(vm->scanResults()[10].pairedFileURL.has_value(), true);
}

// Reports closer together than 0.05 s are dropped; the start and end states never are.
class ThrottleTest : public WorkflowFixture, public ::testing::WithParamInterface<double> {};

TEST_P(ThrottleTest, ReportsCloserThanTheIntervalAreDropped) {
    const double gap = GetParam();
    vm->setClock([times = std::vector<double>{10.0, 10.0 + gap}, i = std::size_t(0)]() mutable {
        return times[std::min(i++, times.size() - 1)];
    });
    wav(dir / "a.wav", StereoKind::dualMono);
    scanFolder();
    std::vector<ScanState> expected{ScanState::scanning(0, "Finding audio files..."),
                                    ScanState::scanning(0, "Found 1 files...")};
    if (gap >= ScanViewModel::progressThrottleInterval) expected.push_back(ScanState::scanning(1.0, "a.wav"));
    expected.push_back(ScanState::completed());
    EXPECT_EQ(scanStates, expected);
}

INSTANTIATE_TEST_SUITE_P(Gaps, ThrottleTest, ::testing::Values(0.010, 0.0625));

TEST_F(ScanWorkflowTest, TheSilenceThresholdTakesEffectAtTheNextScan) {
    writePcm(dir / "faint.wav", kPcm16,
             {noise(4800, PcmEncoding::int16, 5), noise(4800, PcmEncoding::int16, 6, 0.001)});
    scanFolder();
    EXPECT_EQ(vm->scanResults().at(0).silentChannel, SilentChannelStatus::none);
    AppSettings settings = vm->settings();
    settings.silenceThresholddBFS = -40;
    vm->setSettings(settings);
    EXPECT_EQ(loadAppSettings().silenceThresholddBFS, -40.0f);
    finished(vm->startScan());
    EXPECT_EQ(vm->scanResults().at(0).silentChannel, SilentChannelStatus::right);
}

TEST_F(ScanWorkflowTest, TheChosenFolderIsScannedAndACancelledChoiceChangesNothing) {
    wav(dir / "a.wav", StereoKind::dualMono);
    std::optional<fs::path> choice;
    vm->setFolderChooser([&] { return choice; });
    EXPECT_TRUE(vm->selectFolder().isFinished());
    EXPECT_EQ(vm->selectedFolderURL(), std::nullopt);
    EXPECT_TRUE(scanStates.empty());
    choice = dir.path();
    finished(vm->selectFolder());
    EXPECT_EQ(vm->selectedFolderURL(), dir.path());
    EXPECT_EQ(vm->scanResults().size(), 1u);
}

TEST_F(ScanWorkflowTest, ResetEmptiesEverything) {
    wav(dir / "a.wav", StereoKind::dualMono);
    scanFolder();
    vm->reset();
    EXPECT_EQ(vm->scanState(), ScanState::idle());
    EXPECT_TRUE(vm->scanResults().empty());
    EXPECT_TRUE(vm->selectedResultIDs().empty());
    EXPECT_EQ(vm->selectedFolderURL(), std::nullopt);
    EXPECT_EQ(vm->sourceDescription(), std::nullopt);
}

TEST_F(ScanWorkflowTest, SortingReordersThePublishedResults) {
    wav(dir / "b.wav", StereoKind::dualMono);
    wav(dir / "a.wav", StereoKind::dualMono);
    wav(dir / "C.wav", StereoKind::dualMono);
    scanFolder();
    vm->sortResultsByFilename(false);
    EXPECT_EQ(resultNames(), (std::vector<std::string>{"b.wav", "a.wav", "C.wav"}));
    vm->sortResultsByFilename(true);
    EXPECT_EQ(resultNames(), (std::vector<std::string>{"C.wav", "a.wav", "b.wav"}));
}

// Counts, through inotify, the opens of the watched folders and of the files
// in them: what a cancelled scan still read, seen without any timing.
class OpenCounter {
public:
    explicit OpenCounter(const std::vector<fs::path>& folders) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        EXPECT_GE(fd_, 0);
        for (const fs::path& folder : folders) EXPECT_GE(inotify_add_watch(fd_, folder.c_str(), IN_OPEN), 0);
    }
    ~OpenCounter() { close(fd_); }
    OpenCounter(const OpenCounter&) = delete;
    OpenCounter& operator=(const OpenCounter&) = delete;

    std::size_t opens() {
        alignas(inotify_event) char buffer[4096];
        for (ssize_t n; (n = read(fd_, buffer, sizeof buffer)) > 0;) {
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->mask & (IN_OPEN | IN_Q_OVERFLOW)) ++opens_;
                at += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
        return opens_;
    }

private:
    int fd_;
    std::size_t opens_ = 0;
};

// The scanner and the analyser clear their own flags when they start, so a
// scan is held just before one of them while it is cancelled, by a cancel or
// by a new scan. The held scan must then read nothing more, although no
// progress report comes to carry the cancel (the tree to list holds no audio
// file; the files to analyse are opened before any of them could report),
// and the next scan must run.
enum class HeldBefore { listing, analysis };
enum class EndedBy { cancel, newScan };

class CancelBeforeServiceTest : public WorkflowFixture,
                                public ::testing::WithParamInterface<std::tuple<HeldBefore, EndedBy>> {
protected:
    // The first scan's items; `watched` gets the folders it must not read.
    std::vector<fs::path> firstScanItems(HeldBefore heldBefore, std::vector<fs::path>& watched) {
        if (heldBefore == HeldBefore::analysis) {
            std::vector<fs::path> files;
            for (int i = 0; i < 8; ++i)
                files.push_back(wav(dir / "big" / numbered("take", i, ".wav"), StereoKind::dualMono));
            watched = {dir / "big"};
            return files;
        }
        for (int i = 0; i < 20; ++i) {
            const fs::path session = dir / "big" / numbered("session", i, "");
            fs::create_directories(session);
            for (int j = 0; j < 40; ++j) std::ofstream(session / numbered("notes", j, ".txt")) << "x";
            watched.push_back(session);
        }
        return {dir / "big"};
    }
};

TEST_P(CancelBeforeServiceTest, TheHeldScanReadsNothingMoreAndTheNextOneRuns) {
    const auto [heldBefore, endedBy] = GetParam();
    std::vector<fs::path> watched;
    const std::vector<fs::path> items = firstScanItems(heldBefore, watched);
    wav(dir / "next" / "next.wav", StereoKind::dualMono);
    std::promise<void> reached;
    std::promise<void> released;
    const std::shared_future<void> release = released.get_future().share();
    auto hold = [&, armed = std::make_shared<std::atomic<bool>>(true)] {
        if (!armed->exchange(false)) return;  // only the first scan is held
        reached.set_value();
        release.wait_for(std::chrono::seconds(30));
    };
    ScanViewModel::ScanHooks hooks;
    if (heldBefore == HeldBefore::listing) hooks.beforeListing = [hold](const fs::path&) { hold(); };
    else hooks.beforeAnalysis = hold;
    vm->setScanHooks(hooks);
    OpenCounter counter(watched);

    const QFuture<void> first = vm->scanDroppedItems(items);
    const bool held = reached.get_future().wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    QFuture<void> next = endedBy == EndedBy::cancel ? vm->cancelScan() : vm->scanDroppedItems({dir / "next"});
    released.set_value();
    ASSERT_TRUE(held);
    finished(first);
    EXPECT_TRUE(first.isCanceled());
    if (endedBy == EndedBy::cancel) {
        EXPECT_EQ(vm->scanState(), ScanState::idle());
        next = vm->scanDroppedItems({dir / "next"});
    }
    finished(next);
    EXPECT_EQ(counter.opens(), 0u) << "the cancelled scan went on reading";
    EXPECT_EQ(vm->scanState(), ScanState::completed());
    EXPECT_EQ(resultNames(), std::vector<std::string>{"next.wav"});
}

INSTANTIATE_TEST_SUITE_P(Moments, CancelBeforeServiceTest,
                         ::testing::Combine(::testing::Values(HeldBefore::listing, HeldBefore::analysis),
                                            ::testing::Values(EndedBy::cancel, EndedBy::newScan)),
                         [](const auto& info) {
                             const bool listing = std::get<0>(info.param) == HeldBefore::listing;
                             const bool cancel = std::get<1>(info.param) == EndedBy::cancel;
                             return std::string(listing ? "listing" : "analysis") + (cancel ? "Cancelled" : "Replaced");
                         });

}  // namespace
}  // namespace twinfold::test
