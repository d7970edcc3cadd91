#pragma once

#include <QList>
#include <QWidget>

class QGridLayout;
class QLabel;

namespace twinfold {

class ChannelCell;
struct MultichannelAnalysis;

// Under the table while one multichannel result is selected: a header with
// the number of removable channels and one cell per channel, eight to a row.
class MultichannelDetailPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int maxColumns = 8;
    static constexpr int columnSpacing = 8;
    static constexpr int rowSpacing = 6;
    static constexpr int innerMargin = 12;

    explicit MultichannelDetailPanel(QWidget* parent = nullptr);

    void setAnalysis(const MultichannelAnalysis& analysis, int channelCount);

    QString removableText() const;
    const QList<ChannelCell*>& cells() const { return cells_; }
    int columnCount() const { return columns_; }
    // Grid row and column of the cell for a channel (0-based).
    QPair<int, int> cellPosition(int channelIndex) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* buildHeader();
    void clearCells();

    QLabel* removable_;
    QGridLayout* grid_;
    QList<ChannelCell*> cells_;
    int columns_ = 0;
};

}  // namespace twinfold
