#include "WindowFixture.h"

#include "ui/AlertPresenter.h"
#include "ui/ProgressRow.h"
#include "ui/SettingsPanel.h"
#include "ui/UpdateBannerView.h"
#include "updates/BuildInfo.h"
#include "support/FileTree.h"

#include <QCheckBox>
#include <QComboBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>

#include <fstream>
#include <future>

namespace twinfold::test {
namespace {

class WindowShellTest : public WindowFixture {
protected:
    void checkFromTheMenu() {
        const qsizetype before = server.requests().size();
        window().checkForUpdatesAction()->trigger();
        waitForUpdateCheck(before + 1);
    }
    UpdateBannerView& banner() { return *view().banner(); }
    SettingsPanel& panel() { return *view().settingsPanel(); }
    // Replaces the field's text key by key, then presses Return when told.
    static void typeInto(QLineEdit* field, const QString& text, bool enter = true) {
        field->setFocus();
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, text);
        if (enter) QTest::keyClick(field, Qt::Key_Return);
    }
};

using SettingsAndSummaryTest = WindowShellTest;

void expectAlertAndClickOk(QMessageBox* alert, const QString& title, const QString& text) {
    ASSERT_NE(alert, nullptr) << title.toStdString();
    EXPECT_EQ(QStringList({alert->windowTitle(), alert->informativeText()}), QStringList({title, text}));
    QTest::mouseClick(alert->button(QMessageBox::Ok), Qt::LeftButton);
}

// The launch check is silent whatever it meets, and is sent only when
// enabled; a newer version gets the banner. Its buttons download, or skip
// that version: through a restart, and through the scan side saving its own
// settings, until a newer one.
TEST_F(WindowShellTest, ANewerVersionGetsTheBanner) {
    const std::pair<CannedResponse, bool> launches[] = {
        {{500}, false}, {publishedVersion(buildVersionString()), false}, {publishedVersion(newerVersion()), true}};
    for (qsizetype i = 0; i < qsizetype(std::size(launches)); ++i) {
        const auto& [answer, offered] = launches[i];
        server.respondWith(answer);
        openWindow();
        waitForUpdateCheck(i + 1);
        EXPECT_EQ(
            std::pair(view().alerts()->upToDateAlert() || view().alerts()->checkFailedAlert(), banner().isVisible()),
            std::pair(false, offered))
            << answer.status;
    }
    QList<QUrl> opened;
    updateVM().setUrlOpener([&](const QUrl& path) { opened << path; });
    click(banner().downloadButton());
    EXPECT_EQ(opened, QList<QUrl>{QUrl(kDownloadURL)});

    click(banner().skipButton());
    EXPECT_FALSE(banner().isVisible());
    vm().setSettings({.includePanInFilename = true, .checkForUpdatesOnLaunch = false});
    EXPECT_EQ(loadAppSettings().skippedUpdateVersion, newerVersion().toStdString());
    server.respondWith(publishedVersion(newerVersion()));
    openWindow();
    EXPECT_FALSE(updateVM().isChecking()) << "the launch check is off now";
    checkFromTheMenu();
    EXPECT_EQ(server.requests().size(), 4);
    EXPECT_FALSE(banner().isVisible() || view().alerts()->upToDateAlert()) << "skipped, but not up to date";
    server.respondWith(publishedVersion(newerVersion(2)));
    checkFromTheMenu();
    EXPECT_TRUE(banner().isVisible());
}

// A check the user asks for while the silent launch check runs joins it:
// no second request, and the answer is then reported. Each alert says its
// own text and OK clears what raised it; text from the server is shown as it is.
TEST_F(WindowShellTest, MenuActionsAndAlerts) {
    server.respondWith({.behaviour = CannedResponse::Behaviour::hold});
    openWindow();
    ASSERT_TRUE(processEventsUntil([&] { return server.heldCount() == 1; }));
    window().checkForUpdatesAction()->trigger();
    server.answerHeld(publishedVersion(buildVersionString()));
    waitForUpdateCheck(1);
    EXPECT_EQ(server.requests().size(), 1);
    expectAlertAndClickOk(view().alerts()->upToDateAlert(), "Up to Date",
                          "You’re running the latest version of Twinfold.");
    EXPECT_FALSE(updateVM().showUpToDate());

    const QString html = "99.<b>HACKED</b><img src='file:///etc/passwd'>";
    server.respondWith(publishedVersion(html));
    checkFromTheMenu();
    QMessageBox* failed = view().alerts()->checkFailedAlert();
    ASSERT_NE(failed, nullptr);
    EXPECT_TRUE(failed->informativeText().contains("<b>HACKED</b>"));
    for (QLabel* label : failed->findChildren<QLabel*>())
        EXPECT_TRUE(!label->text().contains("HACKED") || label->textFormat() == Qt::PlainText);
    QTest::mouseClick(failed->button(QMessageBox::Ok), Qt::LeftButton);
    EXPECT_FALSE(updateVM().checkError().has_value());
    banner().setUpdate({html, 1, "https://www.twinfold.example/<b>x</b>", "<i>notes</i>", "2024-05-01"});
    EXPECT_EQ(banner().headlineLabel()->textFormat(), Qt::PlainText);

    std::ofstream(library / "notes.txt") << "not audio";
    EXPECT_TRUE(dropOnWindow({library / "notes.txt", library / "missing.wav"}));
    expectAlertAndClickOk(view().alerts()->errorAlert(), "Error",
                          "No supported audio files found. Twinfold supports WAV, AIFF, MP3, and M4A files.");
    EXPECT_FALSE(vm().errorMessage().has_value());
}

// "Export Report…" writes every result where the user says, as CSV or JSON
// by the name's extension, with the evidence (here of a pair that differs
// in its last frame only); a file that cannot be written is named.
TEST_F(WindowShellTest, ExportReportWritesCsvOrJsonWhereTheUserSays) {
    Channels c = stereo(StereoKind::dualMono, 3000, PcmEncoding::int16);
    c[1][2999] = c[1][2999] > 0 ? 0 : 1.0 / 32768;
    const fs::path take = wav("take, one.wav", c);
    openAndScan();
    for (const std::string chosen : {"report.csv", "report.JSON", "", "missing/report.csv"}) {
        SCOPED_TRACE(chosen);
        const fs::path path = library / chosen;
        window().setReportFileChooser(
            [&](const SaveFileRequest&) { return chosen.empty() ? std::nullopt : std::optional(path); });
        window().exportReportAction()->trigger();
        const std::unique_ptr<QMessageBox> alert(window().findChild<QMessageBox*>());
        EXPECT_EQ(alert != nullptr, chosen.starts_with("missing"));
        EXPECT_TRUE(!alert || alert->informativeText().contains(QString::fromStdString(path.string())));
        if (alert || chosen.empty()) continue;
        const QByteArray text = QByteArray::fromStdString(fileText(path));
        if (chosen.ends_with(".csv")) {
            const QList<QByteArray> lines = text.split('\n');
            ASSERT_GE(lines.size(), 2);
            EXPECT_EQ(lines[0].trimmed(),
                      "file,paired file,verdict,channels,sample rate,peak dBFS,RMS dBFS,correlation,"
                      "max difference dBFS,first differing frame,max sum dBFS,pan gain dB,pan residual dB,evidence");
            EXPECT_TRUE(lines[1].startsWith('"' + QByteArray::fromStdString(take.string()) + "\",,") &&
                        lines[1].contains(",2999,") && lines[1].contains("differ only from frame 2,999 on"))
                << lines[1].toStdString();
        } else {
            const QJsonObject first = QJsonDocument::fromJson(text)["results"][0].toObject();
            EXPECT_EQ(first["file"].toString().toStdString(), take.string());
            EXPECT_EQ(first["evidence"]["pair"]["firstDifferingFrame"].toInteger(), 2999);
        }
    }
}

// A scan or a conversion holds the buttons that would start another; a drop
// during a scan replaces it, one during a conversion is refused; Reset
// empties the window.
TEST_F(WindowShellTest, ABusyWindowHoldsItsButtons) {
    stereoWav("Dual.wav", StereoKind::dualMono);
    const fs::path silent = stereoWav("Elsewhere/Silent.wav", StereoKind::rightSilent);
    openWindow();
    HeaderView* header = view().header();
    // Which of Select Folder, Reset and Convert can be pressed.
    const auto enabled = [&] {
        return std::vector<bool>{header->selectFolderButton()->isEnabled(), header->resetButton()->isEnabled(),
                                 view().actionBar()->convertButton()->isEnabled()};
    };
    EXPECT_FALSE(header->resetButton()->isVisible());
    vm().setFolderChooser([this] { return std::optional<fs::path>(library.path()); });
    click(header->selectFolderButton());
    // The scan has started but none of its reports has been delivered yet.
    ASSERT_TRUE(vm().scanState().isScanning());
    EXPECT_EQ(enabled(), (std::vector<bool>{false, false, false}));

    EXPECT_TRUE(dropOnWindow({silent}));
    waitForScan();
    ASSERT_EQ(vm().scanResults().size(), 1u) << "only the dropped file's scan publishes";
    EXPECT_EQ(std::pair(header->folderText().toStdString(), enabled()),
              std::pair(silent.parent_path().string(), std::vector<bool>{true, true, true}));

    // Holds the conversion before its first file; no early return may skip the release below.
    std::promise<void> gate;
    vm().setConversionHooks({[opened = gate.get_future().share()](const ScanResult&) { opened.wait(); }, {}});
    click(view().actionBar()->convertButton());
    EXPECT_TRUE(vm().conversionState().isConverting());
    EXPECT_EQ(enabled(), (std::vector<bool>{false, false, false}));
    EXPECT_FALSE(dropOnWindow({library / "Dual.wav"}));
    EXPECT_FALSE(vm().scanState().isScanning()) << "a refused drop starts nothing";
    click(header->convertingRow()->cancelButton());
    EXPECT_EQ(vm().conversionState(), ConversionState::idle());
    gate.set_value();
    waitForConversionToSettle();
    EXPECT_TRUE(!vm().errorMessage() && header->selectFolderButton()->isEnabled());

    click(header->resetButton());
    QCoreApplication::processEvents();
    EXPECT_TRUE(view().isShowingEmptyState() && header->folderTextIsPlaceholder());
    EXPECT_FALSE(header->resetButton()->isVisible() || view().actionBar()->convertButton()->isVisible());
}

TEST_F(SettingsAndSummaryTest, EveryChangeIsSavedAtOnce) {
    openWindow();
    // A suffix is a part of a file name: one that would lead out of the
    // source's folder is not stored (every keystroke is, up to the "/"); the
    // field says why while it holds one and shows the stored suffix after.
    QLineEdit* suffix = panel().suffixField();
    for (const auto& [typed, stored] : std::vector<std::pair<QString, std::string>>{
             {"_m1", "_m1"}, {"/../../escaped", ""}, {"_a/b", "_a"}, {"_m2", "_m2"}}) {
        typeInto(suffix, typed, false);
        EXPECT_EQ(suffix->toolTip().contains("/"), typed.contains('/')) << typed.toStdString();
        QTest::keyClick(suffix, Qt::Key_Return);
        EXPECT_EQ(std::pair(loadAppSettings().namingSuffix, suffix->text().toStdString()), std::pair(stored, stored));
    }

    for (auto [box, stored, now] :
         {std::tuple{panel().includePanBox(), &AppSettings::includePanInFilename, true},
          std::tuple{panel().trackNamesBox(), &AppSettings::nameSplitsByTrackName, true},
          std::tuple{panel().checkForUpdatesBox(), &AppSettings::checkForUpdatesOnLaunch, false}}) {
        QTest::mouseClick(box, Qt::LeftButton);
        EXPECT_EQ(loadAppSettings().*stored, now) << box->text().toStdString();
    }
    panel().originalsMenu()->setFocus();
    QTest::keyClick(panel().originalsMenu(), Qt::Key_Down);
    EXPECT_EQ(loadAppSettings().originalFileHandling, OriginalFileHandling::deleteOriginals);

    // The target is dimmed until normalising and never above full scale;
    // what does not parse is put back.
    QLineEdit* target = panel().targetField();
    EXPECT_FALSE(target->isEnabled());
    EXPECT_EQ(target->text(), "-6.0");
    QTest::mouseClick(panel().normalizeBox(), Qt::LeftButton);
    EXPECT_TRUE(loadAppSettings().normalizationEnabled && target->isEnabled());
    for (const auto& [typed, shown, stored] :
         {std::tuple{"3", "0.0", 0.0f}, std::tuple{"-3.25", "-3.3", -3.3f}, std::tuple{"loud", "-3.3", -3.3f}}) {
        typeInto(target, typed);
        EXPECT_EQ(std::pair(target->text(), loadAppSettings().normalizationTargetdBFS),
                  std::pair(QString(shown), stored))
            << typed;
    }
    QTest::mouseClick(panel().normalizeBox(), Qt::LeftButton);
    EXPECT_FALSE(target->isEnabled());

    // A new window shows what was stored, the target in the user's own notation.
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    openWindow();
    EXPECT_EQ(std::tuple(panel().suffixField()->text(), panel().includePanBox()->isChecked(),
                         panel().trackNamesBox()->isChecked(), panel().checkForUpdatesBox()->isChecked(),
                         panel().originalsMenu()->currentIndex(), panel().targetField()->text()),
              std::tuple(QString("_m2"), true, true, false, 1, QString("-3,3")));
    QTest::mouseClick(panel().normalizeBox(), Qt::LeftButton);
    typeInto(panel().targetField(), "-4,5");
    EXPECT_EQ(loadAppSettings().normalizationTargetdBFS, -4.5f);
    QLocale::setDefault(previous);
}

}  // namespace
}  // namespace twinfold::test
