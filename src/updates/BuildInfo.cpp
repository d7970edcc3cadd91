#include "updates/BuildInfo.h"

namespace twinfold {

QString buildVersionString() {
    const QString version = QStringLiteral(TWINFOLD_VERSION_STRING);
    return version.isEmpty() ? QStringLiteral("0.0.0") : version;
}

QUrl defaultUpdateURL() { return QUrl(QStringLiteral(TWINFOLD_UPDATE_URL_STRING)); }

QUrl helpPageURL() { return QUrl(QStringLiteral(TWINFOLD_HELP_URL_STRING)); }

}  // namespace twinfold
