// twinfold [PATH...]: the window. Files and folders named on the command line
// (as the desktop's "Open With" passes them) are scanned as if dropped on it.

#include "ui/MainView.h"
#include "ui/MainWindow.h"
#include "ui/TwinfoldApp.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QUrl>

#include <filesystem>
#include <vector>

namespace {

std::vector<std::filesystem::path> pathsFrom(const QStringList& arguments)
{
    std::vector<std::filesystem::path> paths;
    for (const QString& argument : arguments) {
        const QString local = argument.startsWith(QLatin1String("file:")) ? QUrl(argument).toLocalFile() : argument;
        if (!local.isEmpty())
            paths.emplace_back(QFileInfo(local).absoluteFilePath().toStdString());
    }
    return paths;
}

}  // namespace

int main(int argc, char** argv)
{
    twinfold::TwinfoldApp app(argc, argv);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Finds dual-mono and other redundant audio files and converts "
                                                    "them to true mono."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("path"), QStringLiteral("Audio files or folders to scan."),
                                 QStringLiteral("[PATH...]"));
    parser.process(app);

    twinfold::MainWindow window(app.updateViewModel());
    window.show();
    if (const auto paths = pathsFrom(parser.positionalArguments()); !paths.empty())
        window.mainView()->scanDroppedPaths(paths);
    return app.exec();
}
