#include "GraphicalSession.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace twinfold {

namespace {

constexpr const char* kNeedsSession = "Twinfold needs a graphical session; use twinfold-cli for the command line.\n";

[[noreturn]] void leaveWithoutSession() {
    std::fputs(kNeedsSession, stderr);
    std::fflush(stderr);
    // Nothing has been opened or written yet; skip static destructors that
    // may run in a half-built Qt.
    std::_Exit(1);
}

bool isSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// The platform the user asked for (QT_QPA_PLATFORM or -platform), or empty.
QByteArray requestedPlatform(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return QByteArray(argv[i + 1]);
    }
    return qgetenv("QT_QPA_PLATFORM");
}

// Qt's own choice when none is asked for is one of these, all of which need
// a display server; platforms such as offscreen, minimal, vnc or eglfs do not.
bool needsDisplayServer(const QByteArray& platform) {
    if (platform.isEmpty()) return true;
    // QT_QPA_PLATFORM may list fallbacks ("wayland;xcb"); the first decides.
    const QByteArray first = platform.split(';').first().split(':').first().trimmed();
    return first == "xcb" || first.startsWith("wayland");
}

QtMessageHandler previousHandler = nullptr;
QStringList* heldMessages = nullptr;

void holdMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) leaveWithoutSession();
    if (heldMessages != nullptr) heldMessages->append(qFormatLogMessage(type, context, text));
}

}  // namespace

void requireGraphicalSession(int argc, char** argv) {
    if (needsDisplayServer(requestedPlatform(argc, argv)) && !isSet("DISPLAY") && !isSet("WAYLAND_DISPLAY"))
        leaveWithoutSession();
}

DisplayOpeningGuard::DisplayOpeningGuard() {
    heldMessages = new QStringList;
    previousHandler = qInstallMessageHandler(holdMessage);
}

DisplayOpeningGuard::~DisplayOpeningGuard() {
    qInstallMessageHandler(previousHandler);
    const QStringList held = *heldMessages;
    delete heldMessages;
    heldMessages = nullptr;
    // The display opened: whatever Qt said on the way is still worth seeing.
    for (const QString& message : held) std::fprintf(stderr, "%s\n", qPrintable(message));
}

}  // namespace twinfold
