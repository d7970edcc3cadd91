#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>

class QWidget;

namespace twinfold {

class ScanViewModel;

// Shown when the conversion the user asked for has outputs that cannot be
// written (a name taken or too long, two sources to one name, an output onto
// its source). Nothing has been written yet: "Skip These Files" converts
// the rest, "Cancel" converts nothing.
class ClashAlert : public QObject {
    Q_OBJECT
public:
    ClashAlert(ScanViewModel& viewModel, QWidget* window);

    QMessageBox* alert() const { return alert_; }
    QAbstractButton* skipButton() const { return skip_; }

private:
    void sync();

    ScanViewModel& viewModel_;
    QWidget* window_;
    QPointer<QMessageBox> alert_;
    QAbstractButton* skip_ = nullptr;
};

}  // namespace twinfold
