#include "ui/TwinfoldApp.h"

#include "ui/DesktopServices.h"
#include "ui/Symbols.h"
#include "updates/BuildInfo.h"
#include "workflow/SettingsStore.h"
#if TWINFOLD_UPDATE_CHECK
#include "updates/UpdateViewModel.h"
#endif

#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

namespace twinfold {

TwinfoldApp::TwinfoldApp(int& argc, char** argv)
    : QApplication(argc, argv), settings_(std::make_unique<SettingsStore>()) {
    setApplicationName(QStringLiteral("Twinfold"));
    setOrganizationName(QStringLiteral("Twinfold"));
    setApplicationDisplayName(QStringLiteral("Twinfold"));
    setApplicationVersion(buildVersionString());
    setWindowIcon(logoIcon());
}

TwinfoldApp::~TwinfoldApp() = default;

TwinfoldApp* TwinfoldApp::instance() { return qobject_cast<TwinfoldApp*>(QCoreApplication::instance()); }

SettingsService& TwinfoldApp::settings() { return *settings_; }

#if TWINFOLD_UPDATE_CHECK
UpdateViewModel& TwinfoldApp::updateViewModel() {
    if (!updateViewModel_) {
        updateViewModel_ = std::make_unique<UpdateViewModel>(*settings_);
        updateViewModel_->setUrlOpener([](const QUrl& path) { openExternalUrl(path); });
    }
    return *updateViewModel_;
}
#endif

QString TwinfoldApp::translationsFolder() {
    return QDir(applicationDirPath()).filePath(QStringLiteral(TWINFOLD_TRANSLATIONS_FROM_BIN));
}

namespace {

// The translation of `name` for the locale in `folder`, installed in place
// of `current`; `current` is left empty when there is none.
bool replaceTranslation(std::unique_ptr<QTranslator>& current, const QLocale& locale, const QString& name,
                        const QString& folder) {
    if (current) QCoreApplication::removeTranslator(current.get());
    current = std::make_unique<QTranslator>();
    if (!current->load(locale, name, QStringLiteral("_"), folder)) {
        current.reset();
        return false;
    }
    QCoreApplication::installTranslator(current.get());
    return true;
}

}  // namespace

bool TwinfoldApp::loadTranslation(const QLocale& locale, const QString& folder) {
    replaceTranslation(qtTranslation_, locale, QStringLiteral("qtbase"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    return replaceTranslation(ownTranslation_, locale, QStringLiteral("twinfold"), folder);
}

void TwinfoldApp::postCheckForUpdates() { emit checkForUpdates(); }

}  // namespace twinfold
