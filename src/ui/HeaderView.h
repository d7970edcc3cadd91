#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace twinfold {

class ElidedLabel;
class ProgressRow;
class ScanViewModel;

// The top of the window: the title, the folder being shown with "Select
// Folder" and "Reset", and the progress of a running scan or conversion.
class HeaderView : public QWidget {
    Q_OBJECT
public:
    explicit HeaderView(ScanViewModel& viewModel, QWidget* parent = nullptr);

    QString folderText() const;
    bool folderTextIsPlaceholder() const { return placeholder_; }
    QPushButton* selectFolderButton() const { return selectFolder_; }
    QPushButton* resetButton() const { return reset_; }
    ProgressRow* scanningRow() const { return scanning_; }
    ProgressRow* convertingRow() const { return converting_; }

private:
    QWidget* buildFolderBox();
    void refreshFolder();
    void refreshControls();

    ScanViewModel& viewModel_;
    ElidedLabel* folderText_ = nullptr;
    QPushButton* selectFolder_;
    QPushButton* reset_;
    ProgressRow* scanning_;
    ProgressRow* converting_;
    bool placeholder_ = true;
};

}  // namespace twinfold
