#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>

#include <filesystem>
#include <functional>
#include <optional>

class QWidget;

namespace twinfold {

class ScanViewModel;

// File → "Restore Originals…": the user picks a "Twinfold Backup …" folder,
// chooses whether the outputs written from its originals go too (only those
// still exactly as written), and the originals move back to their places.
// The work runs off the window's thread; one alert says what was restored
// and what could not be, and the folder is scanned again.
class RestoreDialog : public QObject {
    Q_OBJECT
public:
    using FolderChooser = std::function<std::optional<std::filesystem::path>()>;

    RestoreDialog(ScanViewModel& viewModel, QWidget* window);

    void start();
    // The backup-folder chooser (a folder dialog by default), a seam for tests.
    void setFolderChooser(FolderChooser chooser) { chooseFolder_ = std::move(chooser); }

    QMessageBox* question() const { return question_; }
    QAbstractButton* restoreAndRemoveButton() const { return restoreAndRemove_; }
    QMessageBox* resultAlert() const { return result_; }

signals:
    void finished();

private:
    void restore(const std::filesystem::path& folder, bool removeOutputs);

    ScanViewModel& viewModel_;
    QWidget* window_;
    FolderChooser chooseFolder_;
    QPointer<QMessageBox> question_;
    QAbstractButton* restoreAndRemove_ = nullptr;
    QPointer<QMessageBox> result_;
};

}  // namespace twinfold
