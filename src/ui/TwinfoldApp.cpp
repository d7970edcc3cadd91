#include "ui/TwinfoldApp.h"

#include "ui/DesktopServices.h"
#include "ui/Symbols.h"
#include "updates/BuildInfo.h"
#include "updates/UpdateViewModel.h"

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

UpdateViewModel& TwinfoldApp::updateViewModel()
{
    if (!updateViewModel_) {
        updateViewModel_ = std::make_unique<UpdateViewModel>();
        updateViewModel_->setUrlOpener([](const QUrl& url) { openExternalUrl(url); });
    }
    return *updateViewModel_;
}

void TwinfoldApp::postCheckForUpdates()
{
    emit checkForUpdates();
}

}  // namespace twinfold
