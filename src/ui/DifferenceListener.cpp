#include "ui/DifferenceListener.h"

#include "conversion/DifferenceWriter.h"
#include "records/ScanResult.h"
#include "ui/SaveFileChooser.h"

#include <QDesktopServices>
#include <QDir>
#include <QTemporaryDir>
#include <QWidget>

#include <exception>

namespace twinfold {

DifferenceListener::DifferenceListener(QWidget* window)
    : QObject(window), window_(window), open_([](const QUrl& path) { return QDesktopServices::openUrl(path); }) {}

DifferenceListener::~DifferenceListener() = default;

// A new name each time: the player may still hold the last one open.
std::optional<std::filesystem::path> DifferenceListener::freshPath(const ScanResult& result) {
    if (!folder_) {
        folder_ = std::make_unique<QTemporaryDir>(QDir::temp().filePath(QStringLiteral("twinfold-difference-XXXXXX")));
        if (!folder_->isValid()) {
            showFileProblem(window_, tr("Could Not Write the Difference"),
                            tr("No temporary folder could be made for it: %1").arg(folder_->errorString()));
            folder_.reset();
            return std::nullopt;
        }
    }
    const std::filesystem::path folder = folder_->path().toStdString();
    const std::string stem = result.fileInfo.path.stem().string() + " difference";
    std::filesystem::path path = folder / (stem + ".wav");
    for (int n = 2; std::filesystem::exists(path); ++n) path = folder / (stem + " " + std::to_string(n) + ".wav");
    return path;
}

std::optional<std::filesystem::path> DifferenceListener::listen(const ScanResult& result) {
    const auto path = freshPath(result);
    if (!path) return std::nullopt;
    try {
        writeDifferenceWav(result, *path);
    } catch (const std::exception& error) {
        showFileProblem(window_, tr("Could Not Write the Difference"), QString::fromStdString(error.what()));
        return std::nullopt;
    }
    const QString file = QString::fromStdString(path->string());
    if (!open_ || !open_(QUrl::fromLocalFile(file)))
        showFileProblem(window_, tr("No Player Found"),
                        tr("Nothing on this desktop opened “%1”. It stays there until Twinfold quits.").arg(file));
    return path;
}

}  // namespace twinfold
