#include "WindowFixture.h"

#include "conversion/DifferenceWriter.h"
#include "presentation/EvidenceTexts.h"
#include "support/ChunkFixtures.h"
#include "ui/ChannelOverviewView.h"
#include "ui/DifferenceListener.h"
#include "ui/GoniometerView.h"
#include "ui/MultichannelDetailPanel.h"
#include "ui/ResultDetailsPanel.h"
#include "ui/ResultsTableModel.h"
#include "ui/ScanResultsView.h"

#include <QMenu>
#include <QMessageBox>
#include <QToolButton>

#include <fstream>

namespace twinfold::test {
namespace {

class ResultDetailsTest : public WindowFixture {
protected:
    ResultDetailsPanel& details() { return *view().resultsView()->resultDetails(); }

    // Selects the file's row alone and waits for its pictures.
    void showDetails(const std::string& filename) {
        clickCell(rowOf(filename), ResultsTableModel::filenameColumn);
        ASSERT_TRUE(details().isVisible()) << filename;
        ASSERT_TRUE(processEventsUntil([this] { return !details().picturesPending(); })) << filename;
    }
};

struct DetailRow {
    std::string filename;
    int channels;             // rows of levels and overview strips
    bool goniometer;          // two channels to compare
    QStringList labels = {};  // the channels' labels, where the recorder named its tracks
};

// Any row, whatever it holds, opens the details: the verdict in words,
// each channel's levels and overview, and for two channels the goniometer.
TEST_F(ResultDetailsTest, EveryKindOfRowIsExplained) {
    stereoWav("Dual.wav", StereoKind::dualMono);
    stereoWav("Panned.wav", StereoKind::panned);
    stereoWav("Mix.wav", StereoKind::trueStereo);
    multichannelWav("Six.wav", {6, {{0, 1}}, {4}});
    std::ofstream(library / "Broken.wav", std::ios::binary) << "RIFF\x10\0\0\0WAVEjunkjunk";
    ChunkFixture scene;  // a recorder's file that names two of its three tracks
    scene.channels = 3;
    for (int frame = 0; frame < 4800; ++frame)
        scene.samples.insert(scene.samples.end(), {frame % 97 * 40, frame % 89 * 50, 0});
    scene.after = {
        ixmlChunk("<BWFXML><TRACK_LIST><TRACK_COUNT>3</TRACK_COUNT><TRACK><CHANNEL_INDEX>1</CHANNEL_INDEX>"
                  "<INTERLEAVE_INDEX>1</INTERLEAVE_INDEX><NAME>Boom</NAME></TRACK><TRACK><CHANNEL_INDEX>2"
                  "</CHANNEL_INDEX><INTERLEAVE_INDEX>2</INTERLEAVE_INDEX><NAME>Lav 1</NAME></TRACK>"
                  "</TRACK_LIST></BWFXML>")};
    writeChunkFixture(library / "Scene.wav", scene);
    openAndScan();
    const DetailRow rows[] = {
        {"Dual.wav", 2, true},
        {"Panned.wav", 2, true},
        {"Mix.wav", 2, true},
        {"Six.wav", 6, false},
        {"Scene.wav", 3, false, {"Ch 1 · Boom", "Ch 2 · Lav 1", "Ch 3"}},
        {"Broken.wav", 0, false},  // the last: clicked again below
    };
    std::set<QString> verdicts;  // each file's own, none left over from the row before
    for (const DetailRow& row : rows) {
        SCOPED_TRACE(row.filename);
        showDetails(row.filename);
        verdicts.insert(details().verdictText());
        const ScanResult& result = resultNamed(row.filename);
        // An unreadable file has no verdict: its reason stands in its place.
        EXPECT_EQ(details().verdictText().isEmpty(), result.unreadableReason.has_value());
        EXPECT_TRUE(details().reasonText().contains(QString::fromStdString(result.unreadableReason.value_or(""))));
        EXPECT_EQ(details().overviews()->labels().mid(0, row.labels.size()), row.labels);
        EXPECT_GE(details().figureTexts().size(), row.channels);
        // Overview strips, whether any, goniometer shown and drawn, channel grid, listen button.
        EXPECT_EQ(std::tuple(details().overviews()->labels().size(), details().overviews()->hasOverviews(),
                             details().goniometer()->isVisible(), details().goniometer()->hasPicture(),
                             details().channelGrid()->isVisible(), details().listenButton()->isVisible()),
                  std::tuple(row.channels, row.channels > 0, row.goniometer, row.goniometer, row.channels > 2,
                             hasDifference(result)));
    }
    EXPECT_EQ(verdicts.size(), std::size(rows));

    // Hidden by the user, the details stay away until another row is chosen.
    QTest::mouseClick(details().hideButton(), Qt::LeftButton);
    EXPECT_FALSE(details().isVisible());
    clickCell(rowOf("Broken.wav"), ResultsTableModel::filenameColumn);
    EXPECT_FALSE(details().isVisible());
    showDetails("Dual.wav");
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

// "Listen to the Difference" writes L − R as a WAV and hands it to the
// player; "Save Image…" writes the panel as PNG where the user says.
TEST_F(ResultDetailsTest, ListenAndSaveImageWriteTheirFiles) {
    stereoWav("Mix.wav", StereoKind::trueStereo);
    openAndScan();
    QList<QUrl> played;
    bool playerAnswers = true;
    view().resultsView()->differenceListener()->setOpener([&](const QUrl& path) {
        played << path;
        return playerAnswers;
    });
    showDetails("Mix.wav");
    click(details().listenButton());
    std::unique_ptr<QMenu> menu(view().resultsView()->makeContextMenu({resultNamed("Mix.wav").id}));
    for (QAction* entry : menu->actions())
        if (entry->text() == "Listen to the Difference") entry->trigger();
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

}  // namespace
}  // namespace twinfold::test
