#include "ui/DesktopServices.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QStringList>

#include <set>

namespace twinfold {

namespace {

QUrl fileUrl(const std::filesystem::path& path) { return QUrl::fromLocalFile(QString::fromStdString(path.string())); }

void openContainingFolders(const std::vector<std::filesystem::path>& files, const NothingAnswered& nothingAnswered) {
    std::set<std::filesystem::path> folders;
    for (const auto& file : files) folders.insert(file.parent_path());
    bool opened = false;
    for (const auto& folder : folders) opened = QDesktopServices::openUrl(fileUrl(folder)) || opened;
    if (!opened && nothingAnswered) nothingAnswered();
}

}  // namespace

void openExternalUrl(const QUrl& url) { QDesktopServices::openUrl(url); }

void revealInFileManager(const std::vector<std::filesystem::path>& files, NothingAnswered nothingAnswered) {
    if (files.empty()) return;
    QStringList uris;
    for (const auto& file : files) uris << fileUrl(file).toString(QUrl::FullyEncoded);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openContainingFolders(files, nothingAnswered);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << uris << QString();
    // Asynchronous, so a slow or absent file manager never freezes the window.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000));
    const auto answered = [files, nothingAnswered](QDBusPendingCallWatcher* finished) {
        if (QDBusPendingReply<> reply = *finished; reply.isError()) openContainingFolders(files, nothingAnswered);
        finished->deleteLater();
    };
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, answered);
}

}  // namespace twinfold
