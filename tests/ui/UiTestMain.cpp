#include "ui/TwinfoldApp.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

// The widgets need the application object (and its "check for updates"
// notice); they draw on the offscreen platform, so no display is needed.
int main(int argc, char** argv) {
    // The offscreen platform warns about window hints it cannot honour; that
    // is noise, not news.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (!message.contains(QLatin1String("propagateSizeHints"))) qt_message_output(type, context, message);
    });
    // Scans use the analysis cache; the user's own must not fill with test files.
    const twinfold::test::TempDir cacheHome;
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(cacheHome.path().string()));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    twinfold::TwinfoldApp app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
