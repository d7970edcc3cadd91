#include "WindowFixture.h"

#include "ui/ElidedLabel.h"
#include "ui/LossyFormatNoticeView.h"
#include "ui/OptionsDialog.h"
#include "ui/ResultsTableModel.h"
#include "ui/ScanResultsView.h"
#include "ui/DialogPresenter.h"
#include "ui/TwinfoldApp.h"
#include "ui/ResultPresentation.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMenuBar>
#include <QProcess>
#include <QRegularExpression>
#include <QTranslator>

#include <cmath>
#include <fstream>

namespace twinfold::test {
namespace {

// A translation into "longer English": every text comes back 40 % longer,
// marked so a test can tell a translated text from one that never went
// through the translator.
class LengtheningTranslator : public QTranslator {
public:
    static constexpr QChar kMark = u'\u2039';  // ‹

    QString translate(const char*, const char* source, const char*, int) const override {
        const QString text = QString::fromUtf8(source);
        if (text.isEmpty()) return {};
        const auto padding = qsizetype(std::ceil(text.size() * 0.4));
        return kMark + text + QString(padding - 1, u'~');
    }

    bool isEmpty() const override { return false; }
};

// Texts the window shows but nobody translates: counts, sizes, durations,
// channel names and peaks, file and folder names.
bool isData(const QString& text, const fs::path& library) {
    static const QRegularExpression figures(
        QStringLiteral(R"(^[-−+\d.,:/% ]*(k|kB|MB|GB|bytes?|dB|dBFS|L|R|C|LFE|Ls|Rs|Lrs|Rrs)?$)"));
    return figures.match(text).hasMatch() || text.startsWith(QString::fromStdString(library.string())) ||
           text.endsWith(QLatin1String(".wav"));
}

class PseudoTranslationTest : public WindowFixture {
protected:
    PseudoTranslationTest() {
        AppSettings settings;
        settings.originalFileHandling = OriginalFileHandling::leaveInPlace;
        settings.checkForUpdatesOnLaunch = false;
        saveAppSettings(settings);
        QCoreApplication::installTranslator(&translator_);
    }
    ~PseudoTranslationTest() override { QCoreApplication::removeTranslator(&translator_); }

    static bool translated(const QString& text) { return text.contains(LengtheningTranslator::kMark); }

    // Every text a visible label, button or elided line under `top` shows
    // is translated, and no button or single-line label is narrower than
    // its text needs.
    void expectAllTranslatedAndWhole(QWidget* top) {
        ASSERT_NE(top, nullptr);
        QCoreApplication::processEvents();  // texts that just changed are laid out
        for (auto* label : top->findChildren<QLabel*>()) {
            if (!label->isVisible() || label->text().isEmpty() || isData(label->text(), library.path())) continue;
            EXPECT_TRUE(translated(label->text())) << "hard-coded label: " << label->text().toStdString();
            if (!label->wordWrap()) {
                EXPECT_GE(label->width(), label->sizeHint().width()) << "clipped: " << label->text().toStdString();
            }
        }
        for (auto* button : top->findChildren<QAbstractButton*>()) {
            if (!button->isVisible() || button->text().isEmpty()) continue;
            EXPECT_TRUE(translated(button->text())) << "hard-coded button: " << button->text().toStdString();
            EXPECT_GE(button->width(), button->sizeHint().width()) << "clipped: " << button->text().toStdString();
        }
        for (auto* line : top->findChildren<ElidedLabel*>()) {
            if (line->isVisible() && !line->text().isEmpty() && !isData(line->text(), library.path())) {
                EXPECT_TRUE(translated(line->text())) << "hard-coded line: " << line->text().toStdString();
            }
        }
    }

    LengtheningTranslator translator_;
};

// The empty window, its menus and the settings under it; then the results:
// figures, table headers, statuses, the detail panel, the context menu and
// every dialog.
TEST_F(PseudoTranslationTest, EveryTextOnScreenIsTranslatedAndWhole) {
    stereoWav("Inverted.wav", StereoKind::phaseInverted);
    stereoWav("Twin.wav", StereoKind::dualMono);
    multichannelWav("Surround.wav", {6, {{0, 1}}, {4}});
    writeDualMonoMp3(library.path(), "Podcast.mp3");
    openWindow();
    expectAllTranslatedAndWhole(&window());
    EXPECT_TRUE(translated(window().windowTitle()));
    for (QAction* menu : window().menuBar()->actions()) {
        EXPECT_TRUE(translated(menu->text())) << menu->text().toStdString();
        for (QAction* entry : menu->menu()->actions()) {
            if (!entry->isSeparator()) {
                EXPECT_TRUE(translated(entry->text())) << entry->text().toStdString();
            }
        }
    }

    chooseLibrary();
    clickCell(rowOf("Surround.wav"), ResultsTableModel::filenameColumn);
    expectAllTranslatedAndWhole(&window());

    const auto& model = *view().resultsView()->findChild<ResultsTableModel*>();
    for (int column = 1; column < model.columnCount(); ++column)
        EXPECT_TRUE(translated(model.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString())) << column;
    for (const char* file : {"Inverted.wav", "Twin.wav", "Podcast.mp3"})
        EXPECT_TRUE(translated(statusBadgeText(resultNamed(file)))) << file;
    EXPECT_TRUE(translated(bitDepthText(resultNamed("Podcast.mp3").fileInfo)));
    std::unique_ptr<QMenu> menu(view().resultsView()->makeContextMenu({resultNamed("Twin.wav").id}));
    for (QAction* entry : menu->actions()) {
        if (!entry->isSeparator()) {
            EXPECT_TRUE(translated(entry->text())) << entry->text().toStdString();
        }
    }

    // Each dialog is opened on its own and cancelled, so nothing is converted.
    DialogPresenter& dialogs = *view().dialogs();
    const std::vector<std::pair<std::string, std::function<QDialog*()>>> sheetFor{
        {"Inverted.wav", [&] { return dialogs.phaseFixOptions(); }},
        {"Surround.wav", [&] { return dialogs.multichannelOptions(); }},
        {"Podcast.mp3", [&] { return dialogs.lossyNotice(); }},
        {"Twin.wav", [&] { return dialogs.deleteConfirmation(); }}};
    for (const auto& [file, dialog] : sheetFor) {
        SCOPED_TRACE(file);
        if (file == "Twin.wav") {  // the question before deleting originals
            AppSettings settings = vm().settings();
            settings.originalFileHandling = OriginalFileHandling::deleteOriginals;
            vm().setSettings(settings);
        }
        vm().setSelectedResultIDs({resultNamed(file).id});
        click(view().actionBar()->convertButton());
        ASSERT_TRUE(processEventsUntil([&] { return dialog() != nullptr; }));
        expectAllTranslatedAndWhole(dialog());
        dialog()->reject();
        ASSERT_TRUE(processEventsUntil([&] { return dialog() == nullptr; }));
    }
    EXPECT_EQ(libraryFiles().size(), 4u);
}

// A translation installed for the user's language is found by the locale's
// name, and loading another replaces it.
TEST(InstalledTranslation, FollowsTheLocaleAndReplacesTheOneBefore) {
    if (QString(TWINFOLD_LRELEASE).isEmpty()) GTEST_SKIP() << "lrelease is not installed (Debian: qt6-l10n-tools)";
    TempDir folder;
    std::ofstream(folder / "twinfold_de.ts") << R"(<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS><TS version="2.1" language="de">
<context><name>twinfold::HeaderView</name>
<message><source>Select Folder</source><translation>Ordner wählen</translation></message>
</context></TS>)";
    QProcess lrelease;
    lrelease.start(TWINFOLD_LRELEASE, {QString::fromStdString((folder / "twinfold_de.ts").string())});
    ASSERT_TRUE(lrelease.waitForFinished() && lrelease.exitCode() == 0) << lrelease.readAll().toStdString();

    const QString translations = QString::fromStdString(folder.path().string());
    const struct {
        const char* locale;
        bool found;
        QString shown;
    } cases[] = {
        {"de_DE", true, QStringLiteral("Ordner wählen")},
        {"fr_FR", false, QStringLiteral("Select Folder")},
        {"de_AT", true, QStringLiteral("Ordner wählen")},
        {"C", false, QStringLiteral("Select Folder")},
    };
    for (const auto& c : cases) {
        const QLocale locale(QString::fromLatin1(c.locale));
        EXPECT_EQ(TwinfoldApp::instance()->loadTranslation(locale, translations), c.found) << c.locale;
        EXPECT_EQ(QCoreApplication::translate("twinfold::HeaderView", "Select Folder"), c.shown) << c.locale;
    }
}

}  // namespace
}  // namespace twinfold::test
