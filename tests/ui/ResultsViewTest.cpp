#include "WindowFixture.h"

#include "audio_io/AudioFormat.h"
#include "ui/DifferenceListener.h"
#include "ui/GoniometerView.h"
#include "ui/ResultDetailsPanel.h"
#include "ui/ResultPresentation.h"
#include "ui/ResultsTable.h"
#include "ui/ResultsTableModel.h"
#include "ui/ScanResultsView.h"
#include "ui/StatusBadge.h"

#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>

#include <fstream>
#include <tuple>

namespace twinfold::test {
namespace {

using Model = ResultsTableModel;

class ResultsTableTest : public WindowFixture {
protected:
    Model& model() { return *view().resultsView()->model(); }
    ResultsTable& table() { return *view().resultsView()->table(); }

    QVariant cell(const std::string& filename, int column, int role = Qt::DisplayRole) {
        return model().index(rowOf(filename), column).data(role);
    }
    // Each row's file, relative to the library.
    std::vector<std::string> pathsOnScreen() {
        std::vector<std::string> paths;
        for (int row = 0; row < model().rowCount(); ++row)
            paths.push_back(model().resultAt(row).fileInfo.path.lexically_relative(library.path()).generic_string());
        return paths;
    }
    void clickHeader(int column) {
        QHeaderView* header = table().horizontalHeader();
        const int x = header->sectionViewportPosition(column) + 10;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    }
    // The menu's entry of this text, or null.
    static QAction* entry(QMenu& menu, const QString& text) {
        for (QAction* action : menu.actions())
            if (action->text() == text) return action;
        return nullptr;
    }
};

// Every file is listed; only a convertible row takes a tick, and a row that
// is not what it seems says why.
TEST_F(ResultsTableTest, OnlyConvertibleRowsTickAndTheOthersSayWhy) {
    stereoWav("Deep.wav", StereoKind::dualMono, {PcmContainer::wav, PcmEncoding::int24, 44100}, 44100 * 3);
    monoWav("Mono.wav");
    std::ofstream(library / "Broken.wav", std::ios::binary) << "RIFF\x10\0\0\0WAVEjunkjunk";
    const std::string backup = "Twinfold Backup 2025-03-07 14-05";
    stereoWav(backup + "/Old.wav", StereoKind::dualMono);
    writeSplitPair(library.path(), "Snare", ".wav", kPcm16, noise(4800, PcmEncoding::int16, 1),
                   noise(4799, PcmEncoding::int16, 2));
    openAndScan();
    ASSERT_EQ(vm().scanResults().size(), 6u);
    // The file, its status, the note in its tooltip (whichever cell the pointer
    // is on), whether it is ticked after the scan and whether a click on its
    // check mark ticks it.
    const std::tuple<std::string, const char*, std::string, bool, bool> rows[] = {
        {"Deep.wav", "Dual Mono", "", true, true},
        {"Mono.wav", "Already Mono", "", false, false},
        {"Broken.wav", "Unreadable", "Could not be read: " + resultNamed("Broken.wav").unreadableReason.value_or("?"),
         false, false},
        {"Old.wav", "Dual Mono", "moved to a Twinfold backup folder", false, true},
        {"Snare.L.wav", "Already Mono", resultNamed("Snare.L.wav").pairingNote.value_or("(no note)"), false, false},
    };
    for (const auto& [filename, status, note, tickedAfterScan, tickable] : rows) {
        SCOPED_TRACE(filename);
        EXPECT_EQ(cell(filename, Model::statusColumn, Model::StatusTextRole), status);
        for (int column : {int(Model::filenameColumn), int(Model::sizeColumn)}) {
            const QString tip = cell(filename, column, Qt::ToolTipRole).toString();
            EXPECT_TRUE(tip.contains(QString::fromStdString(note).toHtmlEscaped())) << tip.toStdString();
            EXPECT_EQ(tip.isEmpty(), note.empty() && column == Model::sizeColumn) << tip.toStdString();
        }
        const Uuid id = resultNamed(filename).id;
        EXPECT_EQ(vm().selectedResultIDs().count(id), tickedAfterScan ? 1u : 0u);
        clickCell(rowOf(filename), Model::checkColumn);
        EXPECT_EQ(vm().selectedResultIDs().count(id), tickedAfterScan != tickable ? 1u : 0u);
        if (tickable) clickCell(rowOf(filename), Model::checkColumn);
    }

    // A backup is never taken by "Select All Convertible".
    click(view().actionBar()->selectAllButton());
    EXPECT_EQ(vm().selectedResultIDs(), std::set<Uuid>{resultNamed("Deep.wav").id});
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
        EXPECT_EQ(StatusBadge(result).text(), badge);
        EXPECT_EQ(rowNotes(result).join(' ').contains("differs by -18 dB"), noted) << badge.toStdString();
    }
}

// A header's first click sorts ascending, the next turns the order round;
// the selection stays on its files, and the view model's list keeps its own
// order. The order and the Folder column's place outlive the window, and a
// new scan's rows stream into the stored order.
TEST_F(ResultsTableTest, HeaderClicksSortAndTheOrderStays) {
    stereoWav("Take 10.wav", StereoKind::dualMono);
    stereoWav("Take 9.wav", StereoKind::trueStereo, {PcmContainer::wav, PcmEncoding::int24, 96000}, 192000);
    monoWav("x/_intro.wav");
    stereoWav("y/Take 10.wav", StereoKind::dualMono);  // the same as the first but for its folder
    openAndScan();
    const auto selectedOnScreen = [this] {
        std::set<std::string> files;
        for (const QModelIndex& row : table().selectionModel()->selectedRows())
            files.insert(pathsOnScreen()[std::size_t(row.row())]);
        return files;
    };
    const std::vector<ScanResult> listOrder = vm().scanResults();
    const std::set<std::string> selected = selectedOnScreen();
    EXPECT_EQ(selected, (std::set<std::string>{"Take 10.wav", "y/Take 10.wav"}));
    const std::vector<std::string> bySize{"x/_intro.wav", "Take 10.wav", "y/Take 10.wav", "Take 9.wav"};
    clickHeader(Model::sizeColumn);
    EXPECT_EQ(pathsOnScreen(), bySize);
    clickHeader(Model::sizeColumn);
    EXPECT_EQ(pathsOnScreen(), std::vector<std::string>(bySize.rbegin(), bySize.rend()));
    EXPECT_EQ(selectedOnScreen(), selected);
    EXPECT_EQ(vm().scanResults(), listOrder) << "the view model's list keeps its own order";

    std::unique_ptr<QMenu>(view().resultsView()->makeHeaderMenu())->actions().constFirst()->trigger();
    EXPECT_TRUE(table().isColumnHidden(Model::folderColumn));
    openAndScan();  // a new window reads the stored choices
    const auto sort = view().resultsView()->sortOrder();
    ASSERT_TRUE(sort.has_value());
    EXPECT_EQ(
        std::tuple(sort->column, sort->ascending, pathsOnScreen(), table().isColumnHidden(Model::folderColumn)),
        std::tuple(int(Model::sizeColumn), false, std::vector<std::string>(bySize.rbegin(), bySize.rend()), true));
}

// The menu acts on the rows it is made for: a split pair is revealed with
// both its files; when no file manager answers the user is told so.
TEST_F(ResultsTableTest, ContextMenuActsOnTheClickedRows) {
    stereoWav("First.wav", StereoKind::dualMono);
    const fs::path second = stereoWav("Second.wav", StereoKind::leftSilent);
    const fs::path plain = stereoWav("Plain.wav", StereoKind::trueStereo);
    const auto pair = writeSplitPair(library.path(), "Kick", ".wav", kPcm16, noise(4800, PcmEncoding::int16, 5),
                                     noise(4800, PcmEncoding::int16, 5));
    openAndScan();
    std::vector<std::set<fs::path>> revealed;
    bool nothingAnswers = false;
    view().resultsView()->setFileRevealer([&](const std::vector<fs::path>& files, const NothingAnswered& nothing) {
        revealed.emplace_back(files.begin(), files.end());
        if (nothingAnswers) nothing();
    });

    std::unique_ptr<QMenu> menu(
        view().resultsView()->makeContextMenu({resultNamed("Second.wav").id, resultNamed("Kick.wav").id}));
    entry(*menu, "Show in File Manager")->trigger();

    const QRect rect = table().visualRect(model().index(rowOf("Plain.wav"), Model::sizeColumn));
    QTest::mouseDClick(table().viewport(), Qt::LeftButton, {}, rect.center());
    EXPECT_EQ(window().findChild<QMessageBox*>(), nullptr);
    nothingAnswers = true;
    QTest::mouseDClick(table().viewport(), Qt::LeftButton, {}, rect.center());
    EXPECT_EQ(revealed, (std::vector<std::set<fs::path>>{{second, pair.left, pair.right}, {plain}, {plain}}));
    auto* alert = window().findChild<QMessageBox*>();
    ASSERT_NE(alert, nullptr);
    EXPECT_TRUE(alert->isVisible() && alert->text() == "No File Manager Found") << alert->text().toStdString();
}

class ResultDetailsTest : public ResultsTableTest {
protected:
    ResultDetailsPanel& details() { return *view().resultsView()->resultDetails(); }

    // Selects the file's row alone and waits for its pictures.
    void showDetails(const std::string& filename) {
        clickCell(rowOf(filename), ResultsTableModel::filenameColumn);
        ASSERT_TRUE(details().isVisible()) << filename;
        ASSERT_TRUE(processEventsUntil([this] { return !details().picturesPending(); })) << filename;
    }
};

// Any row, whatever it holds, opens the details with its own verdict in
// words, or the reason it could not be read.
TEST_F(ResultDetailsTest, EveryKindOfRowIsExplainedAndItsDifferenceHeard) {
    stereoWav("Dual.wav", StereoKind::dualMono);
    stereoWav("Panned.wav", StereoKind::panned);
    stereoWav("Mix.wav", StereoKind::trueStereo);
    multichannelWav("Six.wav", {6, {{0, 1}, {0, 5}}, {4}});
    std::ofstream(library / "Broken.wav", std::ios::binary) << "RIFF\x10\0\0\0WAVEjunkjunk";
    openAndScan();
    const std::string rows[] = {"Dual.wav", "Panned.wav", "Mix.wav", "Six.wav", "Broken.wav"};
    std::set<QString> verdicts;  // each file's own, none left over from the row before
    for (const std::string& filename : rows) {
        SCOPED_TRACE(filename);
        showDetails(filename);
        verdicts.insert(details().verdictText());
        const ScanResult& result = resultNamed(filename);
        // An unreadable file has no verdict: its reason stands in its place.
        EXPECT_EQ(details().verdictText().isEmpty(), result.unreadableReason.has_value());
        EXPECT_TRUE(details().reasonText().contains(QString::fromStdString(result.unreadableReason.value_or(""))));
    }
    EXPECT_EQ(verdicts.size(), std::size(rows));

    // "Listen to the Difference" writes L − R as a WAV and hands it to the
    // player; "Save Image…" writes the panel as PNG where the user says.
    QList<QUrl> played;
    bool playerAnswers = true;
    view().resultsView()->differenceListener()->setOpener([&](const QUrl& path) {
        played << path;
        return playerAnswers;
    });
    showDetails("Mix.wav");
    click(details().listenButton());
    std::unique_ptr<QMenu> menu(view().resultsView()->makeContextMenu({resultNamed("Mix.wav").id}));
    entry(*menu, "Listen to the Difference")->trigger();
    ASSERT_EQ(played.size(), 2);
    EXPECT_NE(played[0], played[1]) << "a second listen does not overwrite a file the player may hold";
    for (const QUrl& path : played) EXPECT_EQ(pcmFileInfo(path.toLocalFile().toStdString()).channels, 1);
    EXPECT_EQ(window().findChild<QMessageBox*>(), nullptr);
    playerAnswers = false;
    click(details().listenButton());
    const std::unique_ptr<QMessageBox> alert(window().findChild<QMessageBox*>());
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text(), "No Player Found");
    EXPECT_TRUE(alert->informativeText().contains(played.last().toLocalFile()));

    const fs::path image = library / "details.png";
    details().setImageFileChooser([&](const SaveFileRequest&) { return std::optional(image); });
    std::unique_ptr<QMenu>(details().makeContextMenu())->actions()[0]->trigger();
    EXPECT_FALSE(QImage(QString::fromStdString(image.string())).isNull());
}

// A goniometer takes only a square of counts of its own size.
TEST(GoniometerViewTest, PaintsASquareOfCountsOnly) {
    GoniometerView view;
    const int size = EvidencePictures::goniometerSize;
    std::vector<std::uint32_t> counts(std::size_t(size * size));
    for (int row = 0; row < size; ++row) counts[std::size_t(row * size + size / 2)] = std::uint32_t(1 + row * 1000);
    view.setCounts(counts, size);
    EXPECT_TRUE(view.hasPicture());
    view.setCounts(counts, size + 1);
    EXPECT_FALSE(view.hasPicture());
}

}  // namespace
}  // namespace twinfold::test
