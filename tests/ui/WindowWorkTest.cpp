#include "WindowFixture.h"

#include "ui/ResultPresentation.h"
#include "ui/ResultsTable.h"
#include "ui/ResultsTableModel.h"
#include "ui/ScanResultsView.h"
#include "ui/StatView.h"
#include "ui/Theme.h"
#include "workflow/SavingsEstimate.h"

#include <QApplication>
#include <QLabel>
#include <QTimer>

#include <atomic>
#include <thread>

namespace twinfold::test {
namespace {

using WindowWorkTest = WindowFixture;

std::int64_t folderBytes(const fs::path& folder) {
    std::int64_t total = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) total += std::int64_t(entry.file_size());
    return total;
}

// The whole job without a mouse: open, tick, take back a slip, convert. Every
// other way of losing ticks (a check mark, a plain click, "Deselect All") is
// taken back too, step by step.
TEST_F(WindowWorkTest, KeyboardOnlyAndEverySlipUndone) {
    stereoWav("A.wav", StereoKind::dualMono);
    stereoWav("B.wav", StereoKind::leftSilent);
    stereoWav("C.wav", StereoKind::trueStereo);
    openWindow();
    vm().setFolderChooser([this] { return std::optional<fs::path>(library.path()); });
    QTest::keyClick(&window(), Qt::Key_O, Qt::ControlModifier);
    waitForScan();
    ResultsTable* table = view().resultsView()->table();
    ASSERT_EQ(QApplication::focusWidget(), table);
    const std::set<Uuid> ticked = vm().selectedResultIDs();
    EXPECT_EQ(ticked.size(), 2u);

    // Moving does not re-select; Space drops the current row only; Ctrl+Z brings it back.
    QTest::keyClick(table, Qt::Key_Down);
    EXPECT_EQ(vm().selectedResultIDs(), ticked);
    QTest::keyClick(table, Qt::Key_Space);
    EXPECT_EQ(view().actionBar()->selectedCountLabel()->text(), "1 selected");
    QTest::keyClick(table, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(vm().selectedResultIDs(), ticked);

    QAction* undo = window().undoSelectionAction();
    EXPECT_FALSE(undo->isEnabled());
    std::vector<std::set<Uuid>> before{vm().selectedResultIDs()};
    clickCell(rowOf("A.wav"), ResultsTableModel::checkColumn);
    before.push_back(vm().selectedResultIDs());
    clickCell(rowOf("C.wav"), ResultsTableModel::filenameColumn);
    before.push_back(vm().selectedResultIDs());
    vm().setSelectedResultIDs({});
    for (auto it = before.rbegin(); it != before.rend(); ++it) {
        ASSERT_TRUE(undo->isEnabled());
        undo->trigger();
        EXPECT_EQ(vm().selectedResultIDs(), *it);
    }
    EXPECT_FALSE(undo->isEnabled());

    // Tab leaves the table at once rather than walking its cells.
    QTest::keyClick(table, Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), table);
    table->setFocus();
    QTest::keyClick(table, Qt::Key_Return);
    waitForConversionToSettle();
    EXPECT_TRUE(fs::exists(library / "A_mono.wav") && fs::exists(library / "B_mono.wav"));
}

// The savings shown for the ticked rows are what deleting their originals frees.
TEST_F(WindowWorkTest, SavingsFigureMatchesTheBytesFreed) {
    stereoWav("Dual.wav", StereoKind::dualMono, kPcm16, 48000);
    stereoWav("Silent.wav", StereoKind::rightSilent, {PcmContainer::wav, PcmEncoding::int24, 44100}, 30000);
    stereoWav("Small.aif", StereoKind::dualMono, {PcmContainer::aiff, PcmEncoding::int8, 22050}, 5000);
    stereoWav("Float.wav", StereoKind::leftSilent, {PcmContainer::wav, PcmEncoding::float32, 48000}, 7000);
    stereoWav("Stereo.wav", StereoKind::trueStereo);
    openWindow();
    vm().setSettings({.originalFileHandling = OriginalFileHandling::deleteOriginals});
    chooseLibrary();
    StatView* savings = view().actionBar()->stat("Potential Savings");
    const QString allTicked = savings->value();
    vm().toggleSelection(resultNamed("Small.aif").id);
    EXPECT_NE(savings->value(), allTicked);
    vm().toggleSelection(resultNamed("Small.aif").id);

    const std::int64_t estimate = estimateSavings(vm().selectedConvertibleResults(), vm().settings(), {}).saved();
    EXPECT_EQ(allTicked, byteCountText(estimate));
    const std::int64_t before = folderBytes(library.path());
    click(view().actionBar()->convertButton());
    click(deleteOriginalsButton());
    waitForConversionToSettle();
    // Within a header's difference per file: the estimate carries each
    // source's header and chunks over, the writer lays out its own.
    EXPECT_NEAR(double(before - folderBytes(library.path())), double(estimate), 4 * 100);
}

// Quitting mid-conversion asks; "Keep Converting" (the default) keeps it going.
TEST_F(WindowWorkTest, QuitDuringConversionAsksFirst) {
    stereoWav("A.wav", StereoKind::dualMono);
    openAndScan();
    std::atomic<bool> release{false};
    vm().setConversionHooks({[&](const ScanResult&) {
                                 while (!release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
                             },
                             {}});
    click(view().actionBar()->convertButton());
    ASSERT_TRUE(processEventsUntil([&] { return vm().conversionState().isConverting(); }));
    for (Qt::Key answer : {Qt::Key_Escape, Qt::Key_Return}) {
        // Answers the question once it is up.
        QTimer::singleShot(0, [answer] {
            processEventsUntil([] { return QApplication::activeModalWidget() != nullptr; });
            if (QWidget* dialog = QApplication::activeModalWidget()) QTest::keyClick(dialog, answer);
        });
        EXPECT_FALSE(window().close());
        EXPECT_TRUE(vm().conversionState().isConverting());
    }
    release = true;
    waitForConversionToSettle();
    EXPECT_TRUE(fs::exists(library / "A_mono.wav"));
}

TEST(WindowTexts, DurationsAndContrast) {
    const std::pair<double, const char*> durations[] = {
        {0.34, "0:00.3"}, {0.01, "0:00.1"}, {0, "0:00"}, {187.9, "3:07"}, {3700, "1:01:40"}};
    for (const auto& [seconds, text] : durations) EXPECT_EQ(durationDisplayText(seconds), text) << seconds;

    for (const auto& [window, text] :
         {std::pair{QColor(0xEF, 0xEF, 0xEF), Qt::black}, std::pair{QColor(0x2A, 0x2A, 0x2A), Qt::white}}) {
        QPalette palette;
        palette.setColor(QPalette::Window, window);
        palette.setColor(QPalette::WindowText, text);
        for (Tint tint :
             {Tint::primary, Tint::accent, Tint::red, Tint::purple, Tint::gray, Tint::teal, Tint::green, Tint::orange})
            EXPECT_GE(contrastRatio(figureColor(tint, palette), window), kMinimumTextContrast)
                << int(tint) << " on " << window.name().toStdString();
    }
}

}  // namespace
}  // namespace twinfold::test
