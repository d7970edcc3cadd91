#include "WindowFixture.h"

#include "ui/ResultPresentation.h"
#include "ui/ResultsTable.h"
#include "ui/ResultsTableModel.h"
#include "ui/ScanResultsView.h"
#include "ui/StatView.h"
#include "ui/Theme.h"
#include "workflow/SavingsEstimate.h"
#include "workflow/SelectionHistory.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QTextDocument>
#include <QMenu>
#include <QTimer>

#include <atomic>
#include <functional>
#include <chrono>
#include <thread>

namespace twinfold::test {
namespace {

using WindowWorkTest = WindowFixture;

ResultsTable* tableOf(MainView& view) { return view.resultsView()->table(); }

// Answers the next modal dialog with a key, once it is up.
void answerNextDialog(Qt::Key key) {
    QTimer::singleShot(0, [key] {
        processEventsUntil([] { return QApplication::activeModalWidget() != nullptr; });
        if (QWidget* dialog = QApplication::activeModalWidget()) QTest::keyClick(dialog, key);
    });
}

std::int64_t folderBytes(const fs::path& folder) {
    std::int64_t total = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) total += std::int64_t(entry.file_size());
    }
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
    ResultsTable* table = tableOf(view());
    ASSERT_EQ(QApplication::focusWidget(), table);
    const std::set<Uuid> ticked = vm().selectedResultIDs();
    EXPECT_EQ(ticked.size(), 2u);

    // Moving does not re-select; Space drops the current row only; Ctrl+Z brings it back.
    QTest::keyClick(table, Qt::Key_Down);
    EXPECT_EQ(vm().selectedResultIDs(), ticked);
    QTest::keyClick(table, Qt::Key_Space);
    EXPECT_EQ(vm().selectedResultIDs().size(), 1u);
    EXPECT_EQ(view().actionBar()->selectedCountLabel()->text(), "1 selected");
    QTest::keyClick(table, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(vm().selectedResultIDs(), ticked);

    QAction* undo = window().undoSelectionAction();
    EXPECT_FALSE(undo->isEnabled());
    const std::vector<std::function<void()>> slips = {
        [&] { clickCell(rowOf("A.wav"), ResultsTableModel::checkColumn); },
        [&] { clickCell(rowOf("C.wav"), ResultsTableModel::filenameColumn); },
        [&] { vm().setSelectedResultIDs({}); },
    };
    std::vector<std::set<Uuid>> before;
    for (const auto& slip : slips) {
        before.push_back(vm().selectedResultIDs());
        slip();
    }
    EXPECT_TRUE(vm().selectedResultIDs().empty());
    for (auto it = before.rbegin(); it != before.rend(); ++it) {
        ASSERT_TRUE(undo->isEnabled());
        undo->trigger();
        EXPECT_EQ(vm().selectedResultIDs(), *it);
    }
    EXPECT_EQ(vm().selectedResultIDs(), ticked);
    EXPECT_FALSE(undo->isEnabled());

    // Tab leaves the table at once rather than walking its cells.
    table->setFocus();
    QTest::keyClick(table, Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), table);
    table->setFocus();
    QTest::keyClick(table, Qt::Key_Return);
    waitForConversionToSettle();
    EXPECT_TRUE(fs::exists(library / "A_mono.wav"));
    EXPECT_TRUE(fs::exists(library / "B_mono.wav"));
}

// The Folder column, its menu, and a sort order that outlives the window.
TEST_F(WindowWorkTest, FolderColumnAndKeptOrder) {
    fs::create_directories(library / "Day 1");
    stereoWav("Day 1/Kick.wav", StereoKind::dualMono);
    stereoWav("Snare.wav", StereoKind::dualMono, kPcm16, 9600);
    openAndScan();
    const auto folderOf = [&](const char* name) {
        return view().resultsView()->model()->index(rowOf(name), ResultsTableModel::folderColumn).data().toString();
    };
    EXPECT_EQ(folderOf("Kick.wav"), "Day 1");
    EXPECT_EQ(folderOf("Snare.wav"), "");
    QHeaderView* header = tableOf(view())->horizontalHeader();
    EXPECT_TRUE(header->isSortIndicatorShown());
    EXPECT_EQ(header->sortIndicatorSection(), int(ResultsTableModel::filenameColumn));
    for (int i = 0; i < 2; ++i)
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(ResultsTableModel::sizeColumn) + 5, 5));
    std::unique_ptr<QMenu> menu(view().resultsView()->makeHeaderMenu());
    menu->actions().constFirst()->trigger();
    menu.reset();
    EXPECT_TRUE(tableOf(view())->isColumnHidden(ResultsTableModel::folderColumn));

    openAndScan();  // a new window reads the stored choices
    const auto sort = view().resultsView()->sortOrder();
    ASSERT_TRUE(sort.has_value());
    EXPECT_EQ(sort->column, int(ResultsTableModel::sizeColumn));
    EXPECT_FALSE(sort->ascending);
    EXPECT_EQ(rowOf("Snare.wav"), 0);
    EXPECT_TRUE(tableOf(view())->isColumnHidden(ResultsTableModel::folderColumn));
}

// The savings shown for the ticked rows are what deleting their originals frees.
TEST_F(WindowWorkTest, SavingsFigureMatchesTheBytesFreed) {
    const PcmFormat pcm24{PcmContainer::wav, PcmEncoding::int24, 44100};
    const PcmFormat aiff8{PcmContainer::aiff, PcmEncoding::int8, 22050};
    stereoWav("Dual.wav", StereoKind::dualMono, kPcm16, 48000);
    stereoWav("Silent.wav", StereoKind::rightSilent, pcm24, 30000);
    stereoWav("Small.aif", StereoKind::dualMono, aiff8, 5000);
    stereoWav("Float.wav", StereoKind::leftSilent, PcmFormat{PcmContainer::wav, PcmEncoding::float32, 48000}, 7000);
    stereoWav("Stereo.wav", StereoKind::trueStereo);
    openWindow();
    vm().setSettings({.originalFileHandling = OriginalFileHandling::deleteOriginals});
    chooseLibrary();
    StatView* savings = view().actionBar()->stat("Potential Savings");
    const QString allTicked = savings->value();
    vm().toggleSelection(resultNamed("Small.aif").id);
    EXPECT_NE(savings->value(), allTicked);
    vm().toggleSelection(resultNamed("Small.aif").id);
    EXPECT_EQ(savings->value(), allTicked);

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
    ScanViewModel::ConversionHooks hooks;
    hooks.beforeConverterCall = [&](const ScanResult&) {
        while (!release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    };
    vm().setConversionHooks(hooks);
    click(view().actionBar()->convertButton());
    ASSERT_TRUE(processEventsUntil([&] { return vm().conversionState().isConverting(); }));
    for (Qt::Key answer : {Qt::Key_Escape, Qt::Key_Return}) {
        answerNextDialog(answer);
        EXPECT_FALSE(window().close());
        EXPECT_TRUE(vm().conversionState().isConverting());
    }
    release = true;
    waitForConversionToSettle();
    EXPECT_TRUE(fs::exists(library / "A_mono.wav"));
}

// Every word on screen fits the room it is given, from the smallest window up.
TEST_F(WindowWorkTest, EveryLabelFits) {
    stereoWav("A Rather Long Name For A Dual Mono Take.wav", StereoKind::dualMono);
    stereoWav("B.wav", StereoKind::phaseInverted);
    stereoWav("C.wav", StereoKind::leftSilent);
    multichannelWav("Six.wav", ChannelPlan{6, {{1, 2}}, {5}});
    openAndScan();
    vm().setSelectedResultIDs({resultNamed("Six.wav").id});
    for (const QSize size : {QSize(700, 519), QSize(960, 680), QSize(1600, 1000)}) {
        window().resize(size);
        QApplication::processEvents();
        for (QWidget* widget : window().findChildren<QWidget*>()) {
            if (!widget->isVisible()) continue;
            QString text;
            int room = widget->contentsRect().width();
            if (auto* label = qobject_cast<QLabel*>(widget);
                label && !label->wordWrap() && !Qt::mightBeRichText(label->text()))
                text = label->text();
            else if (auto* button = qobject_cast<QPushButton*>(widget))
                text = button->text().remove(QLatin1Char('&')), room -= 8;
            for (const QString& line : text.split(QLatin1Char('\n')))
                EXPECT_LE(widget->fontMetrics().horizontalAdvance(line), room)
                    << line.toStdString() << " at " << size.width() << "x" << size.height();
        }
        QHeaderView* header = tableOf(view())->horizontalHeader();
        EXPECT_GE(header->sectionSize(ResultsTableModel::filenameColumn), 200);
    }
}

TEST(WindowTexts, DurationsAndContrast) {
    const std::pair<double, const char*> durations[] = {
        {0.34, "0:00.3"}, {0.01, "0:00.1"}, {0, "0:00"}, {187.9, "3:07"}, {3700, "1:01:40"}};
    for (const auto& [seconds, text] : durations) EXPECT_EQ(durationDisplayText(seconds), text) << seconds;

    QPalette light;
    light.setColor(QPalette::Window, QColor(0xEF, 0xEF, 0xEF));
    light.setColor(QPalette::WindowText, Qt::black);
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x2A, 0x2A, 0x2A));
    dark.setColor(QPalette::WindowText, Qt::white);
    for (const QPalette& palette : {light, dark}) {
        for (Tint tint : {Tint::primary, Tint::accent, Tint::red, Tint::purple, Tint::gray, Tint::teal, Tint::green,
                          Tint::orange}) {
            const QColor color = figureColor(tint, palette);
            EXPECT_GE(contrastRatio(color, palette.color(QPalette::Window)), kMinimumTextContrast)
                << int(tint) << " on " << palette.color(QPalette::Window).name().toStdString();
        }
    }
}

}  // namespace
}  // namespace twinfold::test
