#pragma once

#include <QString>
#include <QStringList>

#include <filesystem>
#include <functional>
#include <optional>

class QWidget;

namespace twinfold {

// What the window asks when it writes a file the user places: the dialog's
// title, its filters ("CSV (*.csv)") and the name it suggests.
struct SaveFileRequest {
    QString caption;
    QStringList filters;
    std::filesystem::path suggestedPath;
};

// The path the user chose, or nothing when they cancelled. A seam: tests
// answer in place of the dialog.
using SaveFileChooser = std::function<std::optional<std::filesystem::path>(const SaveFileRequest&)>;

// The desktop's save dialog. A name typed without an extension gets the
// one of the filter the user picked.
std::optional<std::filesystem::path> askWhereToSave(QWidget* parent, const SaveFileRequest& request);

// A window-modal warning that does not block: the file a step could not
// write or open, and why.
void showFileProblem(QWidget* window, const QString& title, const QString& message);

}  // namespace twinfold
