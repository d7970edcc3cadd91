#include "WindowFixture.h"

#include "ui/DialogPresenter.h"
#include "ui/ElidedLabel.h"
#include "ui/ResultPresentation.h"
#include "ui/ResultsTable.h"
#include "ui/ResultsTableModel.h"
#include "ui/ScanResultsView.h"

#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QRegularExpression>
#include <QTranslator>

#include <cmath>

namespace twinfold::test {
namespace {

constexpr QChar kMark = u'\u2039';  // ‹

// A translation into "longer English": every text comes back 40 % longer and
// marked, so a text that never went through tr() shows, and so does one
// that its widget clips.
class LengtheningTranslator : public QTranslator {
public:
    QString translate(const char*, const char* source, const char*, int) const override {
        const QString text = QString::fromUtf8(source);
        return text.isEmpty() ? QString() : kMark + text + QString(qsizetype(std::ceil(text.size() * 0.4)) - 1, u'~');
    }
    bool isEmpty() const override { return false; }
};

class PseudoTranslationTest : public WindowFixture {
protected:
    PseudoTranslationTest() {
        saveAppSettings({.originalFileHandling = OriginalFileHandling::leaveInPlace, .checkForUpdatesOnLaunch = false});
        QCoreApplication::installTranslator(&translator_);
    }
    ~PseudoTranslationTest() override { QCoreApplication::removeTranslator(&translator_); }

    // Every visible label, button and elided line under `top` (but for data:
    // figures, sizes, channel names, file names) is translated, and no button
    // or single-line label is narrower than its text needs.
    void expectAllTranslatedAndWhole(QWidget* top) {
        ASSERT_NE(top, nullptr);
        QCoreApplication::processEvents();  // texts that just changed are laid out
        static const QRegularExpression data(R"(^[-−+\d.,:/% ]*(k|kB|MB|GB|bytes?|dB|dBFS|L|R|C|LFE|Ls|Rs|Lrs|Rrs)?$)");
        for (QWidget* widget : top->findChildren<QWidget*>()) {
            const auto* label = qobject_cast<QLabel*>(widget);
            const auto* button = qobject_cast<QAbstractButton*>(widget);
            const auto* line = qobject_cast<ElidedLabel*>(widget);
            const QString text = label ? label->text() : button ? button->text() : line ? line->text() : QString();
            if (!widget->isVisible() || text.isEmpty() || data.match(text).hasMatch() || text.endsWith(".wav") ||
                text.startsWith(QString::fromStdString(library.path().string())))
                continue;
            EXPECT_TRUE(text.contains(kMark)) << "hard-coded: " << text.toStdString();
            EXPECT_TRUE((!button && (!label || label->wordWrap())) || widget->width() >= widget->sizeHint().width())
                << "clipped: " << text.toStdString();
        }
    }
    static void expectTranslated(const QList<QAction*>& actions) {
        for (QAction* action : actions)
            EXPECT_TRUE(action->text().isEmpty() || action->text().contains(kMark)) << action->text().toStdString();
    }

    LengtheningTranslator translator_;
};

// The empty window and its menus; then the results (figures, headers,
// statuses, the detail panel, the context menu) and every dialog.
TEST_F(PseudoTranslationTest, EveryTextOnScreenIsTranslatedAndWhole) {
    stereoWav("Inverted.wav", StereoKind::phaseInverted);
    stereoWav("Twin.wav", StereoKind::dualMono);
    multichannelWav("Surround.wav", {6, {{0, 1}}, {4}});
    writeDualMonoMp3(library.path(), "Podcast.mp3");
    openWindow();
    expectAllTranslatedAndWhole(&window());
    EXPECT_TRUE(window().windowTitle().contains(kMark));
    for (QMenu* menu : window().findChildren<QMenu*>()) expectTranslated(menu->actions() << menu->menuAction());

    chooseLibrary();
    clickCell(rowOf("Surround.wav"), ResultsTableModel::filenameColumn);
    expectAllTranslatedAndWhole(&window());
    EXPECT_GE(view().resultsView()->table()->horizontalHeader()->sectionSize(ResultsTableModel::filenameColumn), 200);
    const auto& model = *view().resultsView()->model();
    for (int column = 1; column < model.columnCount(); ++column)
        EXPECT_TRUE(model.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString().contains(kMark)) << column;
    for (const char* file : {"Inverted.wav", "Twin.wav", "Podcast.mp3"})
        EXPECT_TRUE(statusBadgeText(resultNamed(file)).contains(kMark)) << file;
    EXPECT_TRUE(bitDepthText(resultNamed("Podcast.mp3").fileInfo).contains(kMark));
    expectTranslated(
        std::unique_ptr<QMenu>(view().resultsView()->makeContextMenu({resultNamed("Twin.wav").id}))->actions());

    // Each dialog is opened on its own and cancelled, so nothing is converted.
    DialogPresenter& dialogs = *view().dialogs();
    const std::vector<std::pair<std::string, std::function<QDialog*()>>> dialogFor{
        {"Inverted.wav", [&] { return dialogs.phaseFixOptions(); }},
        {"Surround.wav", [&] { return dialogs.multichannelOptions(); }},
        {"Podcast.mp3", [&] { return dialogs.lossyNotice(); }},
        {"Twin.wav", [&] { return dialogs.deleteConfirmation(); }}};
    for (const auto& [file, dialog] : dialogFor) {
        SCOPED_TRACE(file);
        if (file == "Twin.wav") vm().setSettings({.originalFileHandling = OriginalFileHandling::deleteOriginals});
        vm().setSelectedResultIDs({resultNamed(file).id});
        click(view().actionBar()->convertButton());
        ASSERT_TRUE(processEventsUntil([&] { return dialog() != nullptr; }));
        expectAllTranslatedAndWhole(dialog());
        dialog()->reject();
        ASSERT_TRUE(processEventsUntil([&] { return dialog() == nullptr; }));
    }
    EXPECT_EQ(libraryFiles().size(), 4u);
}

}  // namespace
}  // namespace twinfold::test
