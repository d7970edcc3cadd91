#include "ui/TwinfoldApp.h"

#include "ui/DesktopServices.h"
#include "ui/Symbols.h"
#include "updates/BuildInfo.h"
#if TWINFOLD_UPDATE_CHECK
#include "updates/UpdateViewModel.h"
#endif

#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

namespace twinfold {

TwinfoldApp::TwinfoldApp(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Twinfold"));
    setOrganizationName(QStringLiteral("Twinfold"));
    setApplicationDisplayName(QStringLiteral("Twinfold"));
    setApplicationVersion(buildVersionString());
    setWindowIcon(logoIcon());
}

TwinfoldApp::~TwinfoldApp() = default;

TwinfoldApp* TwinfoldApp::instance()
{
    return qobject_cast<TwinfoldApp*>(QCoreApplication::instance());
}

#if TWINFOLD_UPDATE_CHECK
UpdateViewModel& TwinfoldApp::updateViewModel()
{
    if (!updateViewModel_) {
        updateViewModel_ = std::make_unique<UpdateViewModel>();
        updateViewModel_->setUrlOpener([](const QUrl& url) { openExternalUrl(url); });
    }
    return *updateViewModel_;
}
#endif

QString TwinfoldApp::translationsFolder()
{
    return QDir(applicationDirPath()).filePath(QStringLiteral(TWINFOLD_TRANSLATIONS_FROM_BIN));
}

bool TwinfoldApp::loadTranslation(const QLocale& locale)
{
    auto* qt = new QTranslator(this);
    const QString qtTranslations = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), qtTranslations))
        installTranslator(qt);
    auto* own = new QTranslator(this);
    if (!own->load(locale, QStringLiteral("twinfold"), QStringLiteral("_"), translationsFolder()))
        return false;
    installTranslator(own);
    return true;
}

void TwinfoldApp::postCheckForUpdates()
{
    emit checkForUpdates();
}

}  // namespace twinfold
