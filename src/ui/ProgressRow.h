#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

#include "workflow/WorkflowStates.h"

namespace twinfold {

class ElidedLabel;

// A running task under the header: what it is working on, a progress bar,
// a figure (a percentage or a count) in a fixed-width box, and "Cancel".
class ProgressRow : public QWidget {
    Q_OBJECT
public:
    ProgressRow(const QString& prefix, int figureWidth, QWidget* parent = nullptr);

    void setProgress(const QString& currentFile, double fraction, const QString& figure);

    QString statusText() const;
    QString figureText() const;
    QProgressBar* progressBar() const { return bar_; }
    QPushButton* cancelButton() const { return cancel_; }

private:
    QString prefix_;
    ElidedLabel* status_;
    QProgressBar* bar_;
    QLabel* figure_;
    QPushButton* cancel_;
};

// "37%": the fraction in whole per cent, cut toward zero.
QString percentText(double fraction);
// While files are analysed "1234/100000 · 85 MB/s · 3:20 left" (rate and
// time once known); while they are still being found, percentText.
QString scanProgressText(const ScanState& scan);

}  // namespace twinfold
