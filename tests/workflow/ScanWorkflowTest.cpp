#include "WorkflowFixture.h"

namespace twinfold::test {
namespace {

using ScanWorkflowTest = WorkflowFixture;

// Items are given relative to the library folder, which is the working
// folder while they are dropped; "." is that folder itself.
TEST_F(ScanWorkflowTest, DroppedItemsAreMadeAbsoluteAnalysedOnceAndDescribed) {
    wav(dir / "one" / "a.wav", StereoKind::dualMono);
    wav(dir / "two" / "b.wav", StereoKind::trueStereo);
    wav(dir / "c.wav", StereoKind::leftSilent);
    fs::create_directories(dir / "empty");
    // The items, the folder and the description shown, and the files analysed.
    using Names = std::multiset<std::string>;
    const std::tuple<std::vector<fs::path>, std::optional<std::string>, std::optional<std::string>, Names> cases[] = {
        {{"."}, ".", {}, {"a.wav", "b.wav", "c.wav"}},
        {{"one", "two", "c.wav"}, {}, "3 items dropped", {"a.wav", "b.wav", "c.wav"}},
        {{"one/./a.wav", "c.wav"}, "one", {}, {"a.wav", "c.wav"}},
        {{"c.wav", "./c.wav", "one/../c.wav"}, ".", {}, {"c.wav"}},
        {{"one", "one/a.wav"}, {}, "2 items dropped", {"a.wav"}},
        {{"empty"}, "empty", {}, {}}};
    for (const auto& [items, expectedFolder, description, expectedNames] : cases) {
        SCOPED_TRACE(testing::PrintToString(items));
        const fs::path previous = fs::current_path();
        fs::current_path(dir.path());
        const QFuture<void> done = vm->scanDroppedItems(items);
        fs::current_path(previous);
        finished(done);
        std::optional<std::string> folder;
        if (vm->selectedFolderPath()) folder = vm->selectedFolderPath()->lexically_relative(dir.path()).string();
        const auto names = resultNames();
        EXPECT_EQ(std::tuple(folder, vm->sourceDescription(), vm->scanState(), Names(names.begin(), names.end())),
                  std::tuple(expectedFolder, description, ScanState::completed(), expectedNames));
    }
}

TEST_F(ScanWorkflowTest, NothingUsableDroppedOnlySetsTheMessage) {
    wav(dir / "a.wav", StereoKind::dualMono);
    scanFolder();
    const auto results = vm->scanResults();
    std::ofstream(dir / "notes.txt") << "text";
    const std::size_t statesBefore = scanStates.size();
    const QFuture<void> done = vm->scanDroppedItems({dir / "notes.txt", dir / "missing.wav"});
    EXPECT_EQ(vm->errorMessage(), "No supported audio files found. Twinfold supports WAV, AIFF, MP3, and M4A files.");
    EXPECT_EQ(vm->scanResults(), results);
    EXPECT_EQ(std::tuple(done.isFinished(), scanStates.size(), vm->selectedFolderPath()),
              std::tuple(true, statesBefore, std::optional(dir.path())));
}

// Its queued reports must go without touching the view model.
TEST_F(ScanWorkflowTest, AViewModelDestroyedMidScanEndsTheScan) {
    for (int i = 0; i < 6; ++i) wav(dir / numbered("f", i, ".wav"), StereoKind::dualMono, 48000);
    const QFuture<void> running = vm->scanDroppedItems({dir.path()});
    vm.reset();
    finished(running);
    EXPECT_TRUE(running.isCanceled());
}

// The analyser clears its own flag when it starts, so a scan is held just
// before it while a new scan cancels it: the held scan must then end
// cancelled, and the new one must run and show its own files alone.
TEST_F(ScanWorkflowTest, AScanHeldBeforeItsAnalysisEndsAndTheNextOneRuns) {
    for (int i = 0; i < 8; ++i) wav(dir / "big" / numbered("take", i, ".wav"), StereoKind::dualMono);
    wav(dir / "next" / "next.wav", StereoKind::dualMono);
    std::promise<void> reached, released;
    const std::shared_future<void> release = released.get_future().share();
    vm->setScanHooks({.beforeAnalysis = [&, armed = std::make_shared<std::atomic<bool>>(true)] {
        if (!armed->exchange(false)) return;  // only the first scan is held
        reached.set_value();
        release.wait_for(std::chrono::seconds(30));
    }});

    const QFuture<void> first = vm->scanDroppedItems({dir / "big"});
    const bool held = reached.get_future().wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    const QFuture<void> next = vm->scanDroppedItems({dir / "next"});
    released.set_value();
    ASSERT_TRUE(held);
    finished(first);
    finished(next);
    EXPECT_EQ(std::tuple(first.isCanceled(), vm->scanState(), resultNames()),
              std::tuple(true, ScanState::completed(), std::vector<std::string>{"next.wav"}));
}

}  // namespace
}  // namespace twinfold::test
