#pragma once

#include <QWidget>

class QBoxLayout;
class QLabel;
class QPushButton;

namespace twinfold {

class ScanViewModel;
class StatView;

// The bottom rows: the summary figures of the results, the selection and
// conversion buttons after a scan, and above them the outcome of a conversion.
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
    // "12 selected": the ticked rows, beside the button that converts them.
    QLabel* selectedCountLabel() const { return selectedCount_; }
    // "Converted 2 files — saved 1.2 MB": the last conversion's outcome,
    // shown until another scan or conversion starts; beside it, the problems
    // with the originals, if any.
    QLabel* convertedLabel() const { return converted_; }
    QLabel* problemsLabel() const { return problems_; }
    QPushButton* rescanButton() const { return rescan_; }

signals:
    // "Convert Selected to Mono": the questions and the conversion are the window's.
    void convertClicked();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildStats();
    void arrangeRow();
    void refresh();
    void refreshStats();
    void refreshSavings(StatView* view);
    void refreshOutcome();

    ScanViewModel& viewModel_;
    QWidget* stats_;
    QWidget* buttons_;
    QBoxLayout* row_;
    QList<StatView*> statViews_;
    QPushButton* selectAll_;
    QPushButton* convert_;
    QLabel* selectedCount_;
    QWidget* outcome_;
    QLabel* converted_;
    QLabel* problems_;
    QPushButton* rescan_;
};

}  // namespace twinfold
