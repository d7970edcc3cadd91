// twinfold [PATH...]: the window. Files and folders named on the command line
// (as the desktop's "Open With" passes them) are scanned as if dropped on it.

#include "GraphicalSession.h"

#include "ui/MainView.h"
#include "ui/MainWindow.h"
#include "ui/TwinfoldApp.h"
#include "updates/BuildInfo.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QUrl>

#include <QLocale>

#include <filesystem>
#include <memory>
#include <vector>

namespace {

std::vector<std::filesystem::path> pathsFrom(const QStringList& arguments) {
    std::vector<std::filesystem::path> paths;
    for (const QString& argument : arguments) {
        const QString local = argument.startsWith(QLatin1String("file:")) ? QUrl(argument).toLocalFile() : argument;
        if (!local.isEmpty()) paths.emplace_back(QFileInfo(local).absoluteFilePath().toStdString());
    }
    return paths;
}

void describeOptions(QCommandLineParser& parser) {
    parser.setApplicationDescription(
        QStringLiteral("Finds dual-mono and other redundant audio files and converts "
                       "them to true mono."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("path"), QStringLiteral("Audio files or folders to scan."),
                                 QStringLiteral("[PATH...]"));
}

// --help and --version are answered (and the program ends) before any
// window system is needed, so they work without a display too.
void answerInformationRequests(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "-h" || argument == "--help" || argument == "--help-all" || argument == "-v" ||
            argument == "--version") {
            QCoreApplication core(argc, argv);
            QCoreApplication::setApplicationName(QStringLiteral("twinfold"));
            QCoreApplication::setApplicationVersion(twinfold::buildVersionString());
            QCommandLineParser parser;
            describeOptions(parser);
            parser.process(core);  // prints and exits
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    answerInformationRequests(argc, argv);
    twinfold::requireGraphicalSession(argc, argv);
    auto displayGuard = std::make_unique<twinfold::DisplayOpeningGuard>();
    twinfold::TwinfoldApp app(argc, argv);
    displayGuard.reset();
    app.loadTranslation(QLocale::system());
    QGuiApplication::setDesktopFileName(QStringLiteral(TWINFOLD_APP_ID));
    QCommandLineParser parser;
    describeOptions(parser);
    parser.process(app);

#if TWINFOLD_UPDATE_CHECK
    twinfold::MainWindow window(app.settings(), app.updateViewModel());
#else
    twinfold::MainWindow window(app.settings());
#endif
    window.show();
    if (const auto paths = pathsFrom(parser.positionalArguments()); !paths.empty())
        window.mainView()->scanDroppedPaths(paths);
    return app.exec();
}
