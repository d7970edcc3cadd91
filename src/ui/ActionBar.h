#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace twinfold {

class ScanViewModel;
class StatView;

// The bottom row: the summary figures of the results, the selection and
// conversion buttons after a scan, and the outcome of a conversion.
class ActionBar : public QWidget {
    Q_OBJECT
public:
    explicit ActionBar(ScanViewModel& viewModel, QWidget* parent = nullptr);

    // The figure with this title, or null.
    StatView* stat(const QString& title) const;
    // Titles of the figures on screen, left to right.
    QStringList visibleStatTitles() const;
    QPushButton* selectAllButton() const { return selectAll_; }
    QPushButton* convertButton() const { return convert_; }
    QLabel* convertedLabel() const { return converted_; }
    QPushButton* rescanButton() const { return rescan_; }

private:
    void buildStats();
    void refresh();
    void refreshStats();

    ScanViewModel& viewModel_;
    QWidget* stats_;
    QList<StatView*> statViews_;
    QPushButton* selectAll_;
    QPushButton* convert_;
    QLabel* converted_;
    QPushButton* rescan_;
};

}  // namespace twinfold
