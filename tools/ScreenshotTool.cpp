// twinfold-screenshots <folder>: draws the window over the demo library on
// the offscreen platform and saves what it shows as PNG files — the results,
// the channel details of a multichannel file, the update banner, the
// three option dialogs and the empty state; then rows that explain
// themselves and the outcome of a conversion with problems; then the
// details of a panned file and of a recorder's multichannel file. Nothing of the user's is read or
// written: the settings live in a temporary file and the update server is
// a local stand-in.

#include "QtTestHelpers.h"
#include "TestHttpServer.h"

#include "audio_io/ChunkFile.h"
#include "records/FourCC.h"
#include "cli/DemoLibrary.h"
#include "support/TempDir.h"
#include "ui/AlertPresenter.h"
#include "ui/MainView.h"
#include "ui/MainWindow.h"
#include "ui/ResultDetailsPanel.h"
#include "ui/ScanResultsView.h"
#include "ui/DialogPresenter.h"
#include "ui/TwinfoldApp.h"
#include "updates/AppUpdate.h"
#include "updates/BuildInfo.h"
#include "updates/UpdateViewModel.h"
#include "workflow/ScanViewModel.h"
#include "workflow/SettingsStore.h"

#include <QDir>
#include <QMessageBox>

#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;
using namespace twinfold;

namespace {

bool save(QWidget& widget, const QString& folder, const QString& name) {
    QCoreApplication::processEvents();
    const QString path = QDir(folder).filePath(name);
    const bool saved = widget.grab().save(path);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
    return saved;
}

const ScanResult* firstResult(const ScanViewModel& vm, bool (*matches)(const ScanResult&)) {
    for (const ScanResult& result : vm.scanResults()) {
        if (matches(result)) return &result;
    }
    return nullptr;
}

void selectOnly(ScanViewModel& vm, bool (*matches)(const ScanResult&)) {
    if (const ScanResult* result = firstResult(vm, matches)) vm.setSelectedResultIDs({result->id});
}

bool shoot(MainWindow& window, UpdateViewModel& updateVM, const fs::path& library, const QString& out) {
    MainView& view = *window.mainView();
    ScanViewModel& vm = view.viewModel();
    view.scanDroppedPaths({library});
    if (!test::processEventsUntil([&] { return vm.scanState().kind == ScanState::Case::completed; })) return false;
    bool ok = save(window, out, QStringLiteral("results.png"));
    // The same results from the smallest window up.
    const QSize usual = window.size();
    for (const QSize size : {QSize(700, 519), QSize(960, 680), QSize(1600, 1000)}) {
        window.resize(size);
        ok &= save(window, out, QStringLiteral("window-%1x%2.png").arg(size.width()).arg(size.height()));
    }
    window.resize(usual);

    selectOnly(vm, [](const ScanResult& r) { return r.multichannelAnalysis.has_value(); });
    ok &= save(window, out, QStringLiteral("multichannel-details.png"));

    vm.selectAllConvertible();
    test::finished(updateVM.runUpdateCheck(true));
    ok &= save(window, out, QStringLiteral("update-banner.png"));
    updateVM.setBannerDismissed(true);

    selectOnly(vm, [](const ScanResult& r) { return r.isPhaseInverted; });
    view.dialogs()->convertSelection();
    test::processEventsUntil([&] { return view.dialogs()->phaseFixOptions() != nullptr; });
    if (QDialog* dialog = view.dialogs()->phaseFixOptions()) {
        ok &= save(*dialog, out, QStringLiteral("phase-fix-sheet.png"));
        dialog->reject();
    }

    selectOnly(vm, [](const ScanResult& r) { return r.fileInfo.fileExtension == "mp3"; });
    view.dialogs()->convertSelection();
    if (QDialog* dialog = view.dialogs()->lossyNotice()) {
        ok &= save(*dialog, out, QStringLiteral("lossy-notice.png"));
        dialog->reject();
    }
    selectOnly(vm, [](const ScanResult& r) { return r.multichannelAnalysis.has_value(); });
    view.dialogs()->convertSelection();
    if (QDialog* dialog = view.dialogs()->multichannelOptions()) {
        ok &= save(*dialog, out, QStringLiteral("multichannel-sheet.png"));
        dialog->reject();
    }

    vm.reset();
    ok &= save(window, out, QStringLiteral("empty-state.png"));
    return ok;
}

// A second session with the rows that explain themselves (a damaged file,
// a backup from an earlier run) and a conversion whose originals clash in
// the backup folder: the rows, then the outcome and its alert.
bool shootUnusualRows(MainWindow& window, const fs::path& demo, const fs::path& session, const QString& out) {
    MainView& view = *window.mainView();
    ScanViewModel& vm = view.viewModel();
    const fs::path backup = session / "Twinfold Backup 2024-05-01 10-30";
    for (const fs::path& folder : {session / "Day 1", session / "Day 2", backup}) fs::create_directories(folder);
    for (const fs::path& copy : {session / "Day 1" / "Room.wav", session / "Day 2" / "Room.wav", backup / "Room.wav"})
        fs::copy_file(demo / "Dual Mono Guitar.wav", copy);
    fs::copy_file(demo / "Panned Vocal.wav", session / "Panned Vocal.wav");
    std::FILE* damaged = std::fopen((session / "Damaged Take.wav").c_str(), "wb");
    if (damaged) {
        std::fputs("RIFF\x24\x10WAVEfmt not really", damaged);
        std::fclose(damaged);
    }
    view.scanDroppedPaths({session});
    if (!test::processEventsUntil([&] { return vm.scanState().kind == ScanState::Case::completed; })) return false;
    bool ok = save(window, out, QStringLiteral("unusual-rows.png"));

    view.dialogs()->convertSelection();
    test::processEventsUntil(
        [&] { return view.alerts()->originalsProblemsAlert() && vm.scanState().kind == ScanState::Case::completed; });
    ok &= save(window, out, QStringLiteral("conversion-outcome.png"));
    if (QMessageBox* alert = view.alerts()->originalsProblemsAlert()) {
        ok &= save(*alert, out, QStringLiteral("originals-problems-alert.png"));
        alert->accept();
    }
    return ok;
}

// A field recorder's iXML naming the tracks of the 5.1 demo file.
void nameTracks(const fs::path& file) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<BWFXML><TRACK_LIST><TRACK_COUNT>6</TRACK_COUNT>";
    const char* names[] = {"Boom", "Lav Anna", "Lav Ben", "Timecode", "Room L", "Room R"};
    for (int i = 0; i < 6; ++i)
        xml += "<TRACK><CHANNEL_INDEX>" + std::to_string(i + 1) + "</CHANNEL_INDEX><INTERLEAVE_INDEX>" +
               std::to_string(i + 1) + "</INTERLEAVE_INDEX><NAME>" + names[i] + "</NAME></TRACK>";
    xml += "</TRACK_LIST></BWFXML>\n";
    auto chunks = ChunkFile::open(file, true);
    chunks->append(fourCC("iXML"), std::vector<std::uint8_t>(xml.begin(), xml.end()));
    chunks->close();
}

// The details of one selected row, once its pictures are drawn.
bool shootDetails(MainWindow& window, const fs::path& demo, const fs::path& session, const QString& out) {
    MainView& view = *window.mainView();
    ScanViewModel& vm = view.viewModel();
    fs::create_directories(session);
    fs::copy_file(demo / "Panned Vocal.wav", session / "Panned Vocal.wav");
    fs::copy_file(demo / "Surround Mix.wav", session / "Scene 4 Take 2.wav");
    nameTracks(session / "Scene 4 Take 2.wav");
    view.scanDroppedPaths({session});
    if (!test::processEventsUntil([&] { return vm.scanState().kind == ScanState::Case::completed; })) return false;
    const ResultDetailsPanel& details = *view.resultsView()->resultDetails();
    bool ok = true;
    for (const auto& [name, picture] : {std::pair{"Panned Vocal.wav", "panned-details.png"},
                                        std::pair{"Scene 4 Take 2.wav", "multichannel-track-names.png"}}) {
        for (const ScanResult& result : vm.scanResults()) {
            if (result.fileInfo.filename == name) vm.setSelectedResultIDs({result.id});
        }
        test::processEventsUntil([&] { return details.isVisible() && !details.picturesPending(); });
        ok &= save(window, out, QString::fromLatin1(picture));
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    TwinfoldApp app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: twinfold-screenshots <output folder>\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);

    test::TempDir settings;
    setSettingsStoreFile(QString::fromStdString((settings / "settings.ini").string()));
    AppSettings quiet;
    quiet.checkForUpdatesOnLaunch = false;
    saveAppSettings(quiet);

    test::TempDir scratch;
    const fs::path library = scratch / "Demo Session";
    cli::writeDemoLibrary(library);

    test::TestHttpServer server;
    test::CannedResponse offer;
    offer.body = encodeAppUpdate({buildVersionString() + QStringLiteral(".1"), 2,
                                  QStringLiteral("https://www.twinfold.example/download"),
                                  QStringLiteral("Faster scanning of large folders, and split pairs are matched "
                                                 "regardless of letter case."),
                                  QStringLiteral("2024-05-01")});
    server.respondWith(offer);
    SettingsStore settingsStore;
    UpdateViewModel updateVM(settingsStore, std::make_unique<UpdateCheckerService>(server.url()));

    MainWindow window(settingsStore, updateVM);
    window.resize(1100, 720);
    window.show();
    const bool ok = shoot(window, updateVM, library, out) &&
                    shootUnusualRows(window, library, scratch / "Session 2", out) &&
                    shootDetails(window, library, scratch / "Session 3", out);
    setSettingsStoreFile({});
    return ok ? 0 : 1;
}
