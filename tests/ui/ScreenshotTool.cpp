// twinfold-screenshots <folder>: draws the window over the demo library on
// the offscreen platform and saves what it shows as PNG files — the results,
// the channel details of a multichannel file, the update banner, the
// three option sheets and the empty state. Nothing of the user's is read or
// written: the settings live in a temporary file and the update server is
// a local stand-in.

#include "QtTestHelpers.h"
#include "TestHttpServer.h"

#include "cli/DemoLibrary.h"
#include "support/TempDir.h"
#include "ui/MainView.h"
#include "ui/MainWindow.h"
#include "ui/ScanResultsView.h"
#include "ui/SheetPresenter.h"
#include "ui/TwinfoldApp.h"
#include "updates/AppUpdate.h"
#include "updates/BuildInfo.h"
#include "updates/UpdateViewModel.h"
#include "workflow/ScanViewModel.h"
#include "workflow/SettingsStore.h"

#include <QDir>

#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;
using namespace twinfold;

namespace {

bool save(QWidget& widget, const QString& folder, const QString& name)
{
    QCoreApplication::processEvents();
    const QString path = QDir(folder).filePath(name);
    const bool saved = widget.grab().save(path);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
    return saved;
}

const ScanResult* firstResult(const ScanViewModel& vm, bool (*matches)(const ScanResult&))
{
    for (const ScanResult& result : vm.scanResults()) {
        if (matches(result))
            return &result;
    }
    return nullptr;
}

void selectOnly(ScanViewModel& vm, bool (*matches)(const ScanResult&))
{
    if (const ScanResult* result = firstResult(vm, matches))
        vm.setSelectedResultIDs({result->id});
}

bool shoot(MainWindow& window, UpdateViewModel& updateVM, const fs::path& library, const QString& out)
{
    MainView& view = *window.mainView();
    ScanViewModel& vm = view.viewModel();
    view.scanDroppedPaths({library});
    if (!test::processEventsUntil([&] { return vm.scanState().kind == ScanState::Case::completed; }))
        return false;
    bool ok = save(window, out, QStringLiteral("results.png"));

    selectOnly(vm, [](const ScanResult& r) { return r.multichannelAnalysis.has_value(); });
    ok &= save(window, out, QStringLiteral("multichannel-details.png"));

    vm.selectAllConvertible();
    test::finished(updateVM.runUpdateCheck(true));
    ok &= save(window, out, QStringLiteral("update-banner.png"));
    updateVM.setBannerDismissed(true);

    selectOnly(vm, [](const ScanResult& r) { return r.isPhaseInverted; });
    vm.convertSelected();
    test::processEventsUntil([&] { return view.sheets()->phaseFixOptions() != nullptr; });
    if (QDialog* sheet = view.sheets()->phaseFixOptions()) {
        ok &= save(*sheet, out, QStringLiteral("phase-fix-sheet.png"));
        sheet->reject();
    }

    selectOnly(vm, [](const ScanResult& r) { return r.fileInfo.fileExtension == "mp3"; });
    vm.convertSelected();
    if (QDialog* sheet = view.sheets()->lossyNotice()) {
        ok &= save(*sheet, out, QStringLiteral("lossy-notice.png"));
        sheet->reject();
    }
    selectOnly(vm, [](const ScanResult& r) { return r.multichannelAnalysis.has_value(); });
    vm.convertSelected();
    if (QDialog* sheet = view.sheets()->multichannelOptions()) {
        ok &= save(*sheet, out, QStringLiteral("multichannel-sheet.png"));
        sheet->reject();
    }

    vm.reset();
    ok &= save(window, out, QStringLiteral("empty-state.png"));
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
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
    offer.body = encodeAppUpdate({buildVersionString() + QStringLiteral(".1"), 2, QStringLiteral("https://www.twinfold.example/download"),
                                  QStringLiteral("Faster scanning of large folders, and split pairs are matched "
                                                 "regardless of letter case."),
                                  QStringLiteral("2024-05-01")});
    server.respondWith(offer);
    UpdateViewModel updateVM(std::make_unique<UpdateCheckerService>(server.url()));

    MainWindow window(updateVM);
    window.resize(1100, 720);
    window.show();
    const bool ok = shoot(window, updateVM, library, out);
    setSettingsStoreFile({});
    return ok ? 0 : 1;
}
