#include "WindowFixture.h"

#include "audio_io/AudioFormat.h"
#include "ui/ChannelCell.h"
#include "ui/MultichannelDetailPanel.h"
#include "ui/ResultsTable.h"
#include "ui/ResultsTableModel.h"
#include "ui/ResultsTableOrder.h"
#include "ui/ResultPresentation.h"
#include "ui/ScanResultsView.h"
#include "ui/StatView.h"
#include "ui/StatusBadge.h"
#include "ui/Theme.h"

#include <QCollator>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QSignalSpy>

#include <fstream>
#include <tuple>

namespace twinfold::test {
namespace {

using Model = ResultsTableModel;

class ResultsTableTest : public WindowFixture {
protected:
    Model& model() { return *view().resultsView()->model(); }
    ResultsTable& table() { return *view().resultsView()->table(); }
    MultichannelDetailPanel& panel() { return *view().resultsView()->detailPanel(); }

    QVariant cell(const std::string& filename, int column, int role = Qt::DisplayRole) {
        return model().index(rowOf(filename), column).data(role);
    }
    std::vector<std::string> namesOnScreen() {
        std::vector<std::string> names;
        for (int row = 0; row < model().rowCount(); ++row)
            names.push_back(model().index(row, Model::filenameColumn).data().toString().toStdString());
        return names;
    }
    // Each row's file, relative to the library.
    std::vector<std::string> pathsOnScreen() {
        std::vector<std::string> paths;
        for (int row = 0; row < model().rowCount(); ++row)
            paths.push_back(model().resultAt(row).fileInfo.path.lexically_relative(library.path()).generic_string());
        return paths;
    }
    std::vector<std::string> namesInViewModel() {
        std::vector<std::string> names;
        for (const ScanResult& result : vm().scanResults()) names.push_back(result.fileInfo.filename);
        return names;
    }
    void clickHeader(int column) {
        QHeaderView* header = table().horizontalHeader();
        const int x = header->sectionViewportPosition(column) + 10;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    }
    QAction* action(QMenu& menu, const QString& text) {
        for (QAction* candidate : menu.actions()) {
            if (candidate->text() == text) return candidate;
        }
        ADD_FAILURE() << "no menu entry " << text.toStdString();
        return nullptr;
    }
};

struct RowLook {
    std::string filename;
    const char* symbol;
    Tint tint;
    const char* checkSymbol;
};

TEST_F(ResultsTableTest, RowsShowWhatEachFileIsAndOnlyConvertibleOnesTick) {
    stereoWav("Deep.wav", StereoKind::dualMono, {PcmContainer::wav, PcmEncoding::int24, 44100}, 44100 * 3);
    writeDualMonoMp3(library.path(), "Podcast.mp3");
    monoWav("Mono.wav");
    stereoWav("Silent.wav", StereoKind::bothSilent);
    writeSplitPair(library.path(), "Kick", ".wav", kPcm16, noise(4800, PcmEncoding::int16, 5),
                   noise(4800, PcmEncoding::int16, 5));
    openAndScan();
    const RowLook looks[] = {
        {"Deep.wav", "doc.badge.ellipsis", Tint::orange, "checkmark.circle.fill"},
        {"Mono.wav", "speaker.wave.1", Tint::secondary, "minus.circle"},
        {"Silent.wav", "speaker.slash.fill", Tint::gray, "minus.circle"},
        // A dual-mono pair is coloured as dual mono.
        {"Kick.wav", "doc.on.doc", Tint::orange, "checkmark.circle.fill"},
    };
    for (const RowLook& look : looks) {
        SCOPED_TRACE(look.filename);
        EXPECT_EQ(cell(look.filename, Model::filenameColumn, Model::SymbolRole), look.symbol);
        EXPECT_EQ(cell(look.filename, Model::filenameColumn, Model::TintRole).toInt(), int(look.tint));
        EXPECT_EQ(cell(look.filename, Model::checkColumn, Model::CheckSymbolRole), look.checkSymbol);
    }
    EXPECT_EQ(cell("Mono.wav", Model::channelsColumn), "1ch");
    EXPECT_EQ(cell("Deep.wav", Model::channelsColumn), "2ch");
    EXPECT_EQ(cell("Deep.wav", Model::bitDepthColumn), "24-bit");
    EXPECT_EQ(cell("Deep.wav", Model::sampleRateColumn), "44.1k");
    EXPECT_EQ(cell("Deep.wav", Model::durationColumn), "0:03");
    EXPECT_EQ(cell("Deep.wav", Model::statusColumn, Model::StatusTextRole), "Dual Mono");
    EXPECT_EQ(cell("Podcast.mp3", Model::bitDepthColumn), "Compressed");

    const auto ticked = vm().selectedResultIDs();
    ASSERT_EQ(ticked.size(), 3u);
    clickCell(rowOf("Mono.wav"), Model::checkColumn);
    clickCell(rowOf("Silent.wav"), Model::checkColumn);
    EXPECT_EQ(vm().selectedResultIDs(), ticked);
    clickCell(rowOf("Deep.wav"), Model::checkColumn);
    EXPECT_EQ(vm().selectedResultIDs().count(resultNamed("Deep.wav").id), 0u);
    EXPECT_EQ(cell("Deep.wav", Model::checkColumn, Model::CheckSymbolRole), "circle");
    clickCell(rowOf("Deep.wav"), Model::checkColumn);
    EXPECT_EQ(vm().selectedResultIDs(), ticked);

    // Any row can still be selected as a row, but that selects nothing to convert.
    clickCell(rowOf("Mono.wav"), Model::filenameColumn);
    EXPECT_EQ(vm().selectedResultIDs(), std::set<Uuid>{resultNamed("Mono.wav").id});
    EXPECT_TRUE(table().selectionModel()->isRowSelected(rowOf("Mono.wav"), {}));
    EXPECT_FALSE(view().actionBar()->convertButton()->isEnabled());
}

struct NotedRow {
    std::string filename;
    const char* status;
    std::string note;  // in the row's tooltip
    const char* tag;
    bool tickedAfterScan;
};

// Every file is listed, and a row that is not what it seems says why.
TEST_F(ResultsTableTest, RowsSayWhyTheyAreNotTicked) {
    std::ofstream(library / "Broken.wav", std::ios::binary) << "RIFF\x10\0\0\0WAVEjunkjunk";
    const std::string backup = "Twinfold Backup 2025-03-07 14-05";
    fs::create_directory(library / backup);
    stereoWav(backup + "/Old.wav", StereoKind::dualMono);
    writeSplitPair(library.path(), "Snare", ".wav", kPcm16, noise(4800, PcmEncoding::int16, 1),
                   noise(4799, PcmEncoding::int16, 2));
    stereoWav("Fresh.wav", StereoKind::dualMono);
    openAndScan();
    ASSERT_EQ(vm().scanResults().size(), 5u);
    const NotedRow rows[] = {
        {"Broken.wav", "Unreadable", "Could not be read: " + resultNamed("Broken.wav").unreadableReason.value_or("?"),
         "", false},
        {"Old.wav", "Dual Mono", "moved to a Twinfold backup folder", "Backup", false},
        {"Snare.L.wav", "Already Mono", resultNamed("Snare.L.wav").pairingNote.value_or("(no note)"), "", false},
        {"Fresh.wav", "Dual Mono", "", "", true},
    };
    for (const NotedRow& row : rows) {
        SCOPED_TRACE(row.filename);
        EXPECT_EQ(cell(row.filename, Model::statusColumn, Model::StatusTextRole), row.status);
        // Anywhere on the row, under the cell's own text where it has one.
        for (int column : {int(Model::filenameColumn), int(Model::statusColumn), int(Model::sizeColumn)}) {
            const QString tip = cell(row.filename, column, Qt::ToolTipRole).toString();
            EXPECT_TRUE(tip.contains(QString::fromStdString(row.note).toHtmlEscaped())) << tip.toStdString();
            EXPECT_EQ(tip.isEmpty(), row.note.empty() && column == Model::sizeColumn) << tip.toStdString();
        }
        EXPECT_EQ(cell(row.filename, Model::filenameColumn, Model::TagRole), row.tag);
        EXPECT_EQ(vm().selectedResultIDs().count(resultNamed(row.filename).id) > 0, row.tickedAfterScan);
    }
    EXPECT_EQ(cell("Broken.wav", Model::checkColumn, Model::CheckSymbolRole), "minus.circle");
    EXPECT_EQ(cell("Broken.wav", Model::sampleRateColumn), "—");
    EXPECT_TRUE(view().actionBar()->visibleStatTitles().contains("Unreadable"));
    EXPECT_EQ(view().actionBar()->stat("Unreadable")->value(), "1");
    EXPECT_EQ(view().actionBar()->stat("Total Files")->value(), "5");

    // A backup is never taken by "Select All Convertible", but a tick by hand takes it.
    click(view().actionBar()->selectAllButton());
    EXPECT_EQ(vm().selectedResultIDs(), std::set<Uuid>{resultNamed("Fresh.wav").id});
    clickCell(rowOf("Old.wav"), Model::checkColumn);
    EXPECT_EQ(vm().selectedResultIDs().count(resultNamed("Old.wav").id), 1u);
}

// The analysis's verdict on a pan that would discard content, as the badge
// and the tooltip show it.
TEST(ResultPresentationTest, APanThatWouldDiscardContentSaysSoInItsBadge) {
    const auto panned = [](float residualdB, std::uint32_t format) {
        ScanResultFields fields;
        fields.fileInfo.channelCount = 2;
        fields.fileInfo.sourceFormatID = format;
        fields.isPannedMono = true;
        fields.pannedMonoLouderChannel = ChannelSelection::left;
        fields.pannedMonoPanPercent = 69;
        fields.panResidual = PanResidual{residualdB, 0.1f, true};
        return ScanResult(fields);
    };
    const std::tuple<ScanResult, QString, bool> rows[] = {
        {panned(-18.2f, kFormatLinearPCM), "Mono Panned 69% L · differs by -18 dB", true},
        {panned(-70.0f, kFormatLinearPCM), "Mono Panned 69% L", false},
        {panned(-18.2f, kFormatMPEGLayer3), "Mono Panned 69% L", false},  // codec noise, not content
    };
    for (const auto& [result, badge, noted] : rows) {
        EXPECT_EQ(statusBadgeText(result), badge);
        EXPECT_EQ(StatusBadge(result).text(), badge);
        EXPECT_EQ(rowNotes(result).join(' ').contains("differs by -18 dB"), noted) << badge.toStdString();
    }
}

TEST_F(ResultsTableTest, DetailPanelForOneMultichannelSelectionOnly) {
    multichannelWav("Surround.wav", {6, {{0, 1}}, {4}});
    multichannelWav("Other.wav", {6, {}, {5}});
    multichannelWav("Ten.wav", {10, {}, {9}});
    openAndScan();
    clickCell(rowOf("Surround.wav"), Model::filenameColumn);
    ASSERT_TRUE(panel().isVisible());
    EXPECT_EQ(panel().removableText(), "2 removable channels");
    QStringList pills;
    QList<Tint> tints;
    for (ChannelCell* c : panel().cells()) {
        pills << c->numberText() + " " + c->pillText();
        tints << c->tint();
    }
    EXPECT_EQ(pills, (QStringList{"Ch 1 Dup of 2", "Ch 2 Dup of 1", "Ch 3 Unique", "Ch 4 Unique", "Ch 5 Silent",
                                  "Ch 6 Unique"}));
    using enum Tint;
    EXPECT_EQ(tints, (QList<Tint>{orange, orange, teal, teal, gray, teal}));
    EXPECT_EQ(panel().cells()[0]->labelText(), "L");
    EXPECT_EQ(panel().cells()[4]->peakText(), "Silent");

    clickCell(rowOf("Other.wav"), Model::filenameColumn, Qt::ControlModifier);
    EXPECT_EQ(vm().selectedResultIDs().size(), 2u);
    EXPECT_FALSE(panel().isVisible());

    clickCell(rowOf("Other.wav"), Model::filenameColumn);
    ASSERT_TRUE(panel().isVisible());
    EXPECT_EQ(panel().removableText(), "1 removable channel");

    // Ten channels wrap after eight, in equal columns.
    clickCell(rowOf("Ten.wav"), Model::filenameColumn);
    ASSERT_EQ(panel().cells().size(), 10);
    EXPECT_EQ(panel().columnCount(), 8);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(panel().cellPosition(i), qMakePair(i / 8, i % 8)) << "cell " << i;
        EXPECT_NEAR(panel().cells()[i]->width(), panel().cells()[0]->width(), 1) << "cell " << i;
    }
}

struct ColumnOrder {
    int column;
    std::vector<std::string> ascending;  // paths in the library
};

// Every column sorts by what it means (numbers as numbers, names as the
// user's language reads them, status by kind), equal keys by full path;
// the second click reverses. The order is the table's own.
TEST_F(ResultsTableTest, EveryColumnSortsAndTiesGoByPath) {
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    fs::create_directory(library / "x");
    fs::create_directory(library / "y");
    stereoWav("Take 10.wav", StereoKind::dualMono);
    stereoWav("Take 9.wav", StereoKind::trueStereo, {PcmContainer::wav, PcmEncoding::int24, 96000}, 192000);
    monoWav("x/_intro.wav");
    stereoWav("y/Take 10.wav", StereoKind::dualMono);  // the same as the first but for its folder
    openAndScan();
    const std::vector<std::string> listOrder = namesInViewModel();
    const ColumnOrder orders[] = {
        {Model::filenameColumn, {"x/_intro.wav", "Take 9.wav", "Take 10.wav", "y/Take 10.wav"}},
        {Model::channelsColumn, {"x/_intro.wav", "Take 10.wav", "Take 9.wav", "y/Take 10.wav"}},
        {Model::bitDepthColumn, {"Take 10.wav", "x/_intro.wav", "y/Take 10.wav", "Take 9.wav"}},
        {Model::sampleRateColumn, {"Take 10.wav", "x/_intro.wav", "y/Take 10.wav", "Take 9.wav"}},
        {Model::durationColumn, {"Take 10.wav", "x/_intro.wav", "y/Take 10.wav", "Take 9.wav"}},
        {Model::sizeColumn, {"x/_intro.wav", "Take 10.wav", "y/Take 10.wav", "Take 9.wav"}},
        {Model::statusColumn, {"Take 10.wav", "y/Take 10.wav", "Take 9.wav", "x/_intro.wav"}},
        {Model::checkColumn, {"Take 10.wav", "y/Take 10.wav", "Take 9.wav", "x/_intro.wav"}},  // ticked first
    };
    for (const ColumnOrder& order : orders) {
        SCOPED_TRACE(order.column);
        model().sort(order.column, Qt::AscendingOrder);
        EXPECT_EQ(pathsOnScreen(), order.ascending);
        model().sort(order.column, Qt::DescendingOrder);
        EXPECT_EQ(pathsOnScreen(), std::vector<std::string>(order.ascending.rbegin(), order.ascending.rend()));
    }
    EXPECT_EQ(namesInViewModel(), listOrder) << "the view model's list keeps its own order";
    QLocale::setDefault(previous);
}

// A sort moves rows without a new table: the selection stays on its files.
TEST_F(ResultsTableTest, HeaderClicksSortAndTheOrderStays) {
    for (const char* name : {"b.wav", "A.wav", "a.wav", "C.wav"}) stereoWav(name, StereoKind::dualMono);
    openAndScan();
    // The rows start by name, and the header says so.
    EXPECT_TRUE(table().horizontalHeader()->isSortIndicatorShown());
    clickCell(rowOf("b.wav"), Model::filenameColumn);
    QSignalSpy resets(&model(), &QAbstractItemModel::modelReset);

    const std::vector<std::string> ascending = pathsOnScreen();
    clickHeader(Model::filenameColumn);
    const std::vector<std::string> descending(ascending.rbegin(), ascending.rend());
    EXPECT_EQ(pathsOnScreen(), descending);
    EXPECT_EQ(table().horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
    clickHeader(Model::channelsColumn);  // another column starts ascending
    EXPECT_EQ(table().horizontalHeader()->sortIndicatorSection(), int(Model::channelsColumn));
    EXPECT_EQ(table().horizontalHeader()->sortIndicatorOrder(), Qt::AscendingOrder);
    EXPECT_EQ(resets.count(), 0);
    EXPECT_EQ(vm().selectedResultIDs(), std::set<Uuid>{resultNamed("b.wav").id});
    EXPECT_EQ(table().selectionModel()->selectedRows().size(), 1);
    EXPECT_TRUE(table().selectionModel()->isRowSelected(rowOf("b.wav"), {}));

    // Files found by a rescan stream in at their place in the chosen order,
    // as row insertions rather than a new table.
    clickHeader(Model::channelsColumn);
    clickHeader(Model::filenameColumn);
    stereoWav("B.wav", StereoKind::trueStereo);
    stereoWav("c.wav", StereoKind::trueStereo);
    int inserted = 0;
    const auto connection =
        QObject::connect(&model(), &QAbstractItemModel::rowsInserted, [&](const QModelIndex&, int first, int last) {
            inserted += last - first + 1;
            // One batch may land in several places, one insertion each.
            EXPECT_LE(std::size_t(model().rowCount()), vm().scanResults().size());
        });
    vm().startScan();
    waitForScan();
    QObject::disconnect(connection);
    EXPECT_EQ(std::size_t(model().rowCount()), vm().scanResults().size());
    EXPECT_EQ(inserted, 6);
    std::vector<std::string> grown = pathsOnScreen();
    std::vector<std::string> expected = ascending;
    expected.insert(expected.end(), {"B.wav", "c.wav"});
    const QCollator collator;
    std::sort(expected.begin(), expected.end(), [&](const std::string& a, const std::string& b) {
        return collator.compare(QString::fromStdString(a), QString::fromStdString(b)) < 0;
    });
    EXPECT_EQ(grown, expected);

    // A table built anew after the empty state starts in the order chosen last.
    clickHeader(Model::sizeColumn);
    click(view().header()->resetButton());
    QCoreApplication::processEvents();
    ASSERT_TRUE(view().isShowingEmptyState());
    chooseLibrary();
    ASSERT_TRUE(view().resultsView()->sortOrder().has_value());
    EXPECT_EQ(view().resultsView()->sortOrder()->column, int(Model::sizeColumn));
}

struct StreamedIn {
    std::optional<ResultsTableOrder::Sort> sort;
    std::vector<std::int64_t> listed;    // sizes in the list, in its order
    std::vector<std::size_t> positions;  // where the new ones went in the list
    std::vector<std::int64_t> onScreen;  // the rows' sizes afterwards
    std::vector<std::size_t> rows;       // the rows the new ones took
    std::size_t firstRowShows;           // index in the list
};

// Results put into the middle of the list (the list has an order of its
// own) land at their sorted rows, and every older row still shows its file.
TEST(ResultsTableOrderTest, ResultsStreamingInLandAtTheirSortedRows) {
    const auto sizes = [](std::initializer_list<std::int64_t> list) { return std::vector<std::int64_t>(list); };
    const ResultsTableOrder::Sort bySize{Model::sizeColumn, true};
    const StreamedIn cases[] = {
        {bySize, sizes({30, 5, 20, 10, 40}), {1, 3}, sizes({5, 10, 20, 30, 40}), {0, 1}, 1},
        {bySize, sizes({7, 30, 20, 7}), {0, 1}, sizes({7, 7, 20, 30}), {0, 3}, 0},  // equal sizes by path
        {ResultsTableOrder::Sort{Model::sizeColumn, false},
         sizes({1, 30, 2, 20}),
         {1, 3},
         sizes({30, 20, 2, 1}),
         {0, 1},
         1},
        {std::nullopt, sizes({3, 1, 2}), {1}, sizes({3, 1, 2}), {1}, 0},  // unsorted: the list's order
    };
    for (const StreamedIn& c : cases) {
        std::vector<ScanResult> list;
        for (std::size_t i = 0; i < c.listed.size(); ++i) {
            ScanResultFields fields;
            fields.fileInfo.fileSize = c.listed[i];
            fields.fileInfo.path = "/library/" + std::to_string(i) + ".wav";
            list.emplace_back(fields);
        }
        std::vector<ScanResult> before;
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (std::find(c.positions.begin(), c.positions.end(), i) == c.positions.end()) before.push_back(list[i]);
        }
        ResultsTableOrder order;
        order.setSort(c.sort, before, {});
        EXPECT_EQ(order.insert(list, c.positions, {}), c.rows);
        std::vector<std::int64_t> shown;
        for (std::size_t row = 0; row < order.rowCount(); ++row)
            shown.push_back(list[order.resultIndex(row)].fileInfo.fileSize);
        EXPECT_EQ(shown, c.onScreen);
        EXPECT_EQ(order.resultIndex(0), c.firstRowShows);
    }
}

TEST_F(ResultsTableTest, ContextMenuActsOnTheClickedRows) {
    stereoWav("First.wav", StereoKind::dualMono);
    const fs::path second = stereoWav("Second.wav", StereoKind::leftSilent);
    const fs::path plain = stereoWav("Plain.wav", StereoKind::trueStereo);
    const auto pair = writeSplitPair(library.path(), "Kick", ".wav", kPcm16, noise(4800, PcmEncoding::int16, 5),
                                     noise(4800, PcmEncoding::int16, 5));
    openAndScan();
    std::vector<std::vector<fs::path>> revealed;
    bool nothingAnswers = false;
    view().resultsView()->setFileRevealer([&](const std::vector<fs::path>& files, const NothingAnswered& nothing) {
        revealed.push_back(files);
        if (nothingAnswers) nothing();
    });

    QSignalSpy requests(&table(), &ResultsTable::contextMenuRequested);
    const auto rightClick = [&](int row) {
        const QRect rect = table().visualRect(model().index(row, Model::filenameColumn));
        QContextMenuEvent event(QContextMenuEvent::Mouse, rect.center(),
                                table().viewport()->mapToGlobal(rect.center()));
        QCoreApplication::sendEvent(table().viewport(), &event);
        if (auto* menu = view().resultsView()->findChild<QMenu*>()) menu->close();
        return requests.takeLast().at(0).value<QList<int>>();
    };
    // On a selected row the menu is for the whole selection; elsewhere for that row.
    EXPECT_EQ(rightClick(rowOf("Second.wav")).size(), 3);
    EXPECT_EQ(rightClick(rowOf("Plain.wav")), QList<int>{rowOf("Plain.wav")});

    std::unique_ptr<QMenu> menu(
        view().resultsView()->makeContextMenu({resultNamed("Second.wav").id, resultNamed("Kick.wav").id}));
    ASSERT_NE(menu, nullptr);
    QStringList entries;
    for (QAction* entry : menu->actions()) entries << (entry->isSeparator() ? QStringLiteral("-") : entry->text());
    EXPECT_EQ(entries, (QStringList{"Show in File Manager", "-", "Convert Selected", "-", "Deselect All"}));
    EXPECT_TRUE(action(*menu, "Convert Selected")->isEnabled());

    // A split pair is revealed with both of its files.
    action(*menu, "Show in File Manager")->trigger();
    ASSERT_EQ(revealed.size(), 1u);
    EXPECT_EQ(std::set<fs::path>(revealed[0].begin(), revealed[0].end()),
              (std::set<fs::path>{second, pair.left, pair.right}));

    action(*menu, "Deselect All")->trigger();
    EXPECT_TRUE(vm().selectedResultIDs().empty());
    menu.reset(view().resultsView()->makeContextMenu({resultNamed("Plain.wav").id}));
    EXPECT_FALSE(action(*menu, "Convert Selected")->isEnabled()) << "nothing convertible is selected";

    const QRect rect = table().visualRect(model().index(rowOf("Plain.wav"), Model::sizeColumn));
    QTest::mouseDClick(table().viewport(), Qt::LeftButton, {}, rect.center());
    ASSERT_EQ(revealed.size(), 2u);
    EXPECT_EQ(revealed[1], std::vector<fs::path>{plain});
    EXPECT_EQ(view().window()->findChild<QMessageBox*>(), nullptr);

    // When no file manager or browser answers, the user is told so.
    nothingAnswers = true;
    QTest::mouseDClick(table().viewport(), Qt::LeftButton, {}, rect.center());
    auto* alert = view().window()->findChild<QMessageBox*>();
    ASSERT_NE(alert, nullptr);
    EXPECT_TRUE(alert->isVisible());
    EXPECT_EQ(alert->text(), "No File Manager Found");
    alert->close();
}

}  // namespace
}  // namespace twinfold::test
