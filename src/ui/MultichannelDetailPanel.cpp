#include "ui/MultichannelDetailPanel.h"

#include "records/ChannelAnalysis.h"
#include "ui/ChannelCell.h"
#include "ui/ResultPresentation.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>

namespace twinfold {

MultichannelDetailPanel::MultichannelDetailPanel(QWidget* parent)
    : QWidget(parent), removable_(new QLabel(this)), grid_(new QGridLayout) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(innerMargin, innerMargin, innerMargin, innerMargin);
    column->setSpacing(8);
    column->addWidget(buildHeader());
    grid_->setHorizontalSpacing(columnSpacing);
    grid_->setVerticalSpacing(rowSpacing);
    column->addLayout(grid_);
}

QWidget* MultichannelDetailPanel::buildHeader() {
    auto* header = new QWidget(this);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    auto* icon = new QLabel(header);
    const int iconSize = QFontMetrics(roleFont(FontRole::headline)).height();
    icon->setPixmap(symbolPixmap(QStringLiteral("square.stack.3d.up"), tintColor(Tint::teal, palette()), iconSize,
                                 devicePixelRatioF()));
    auto* title = new QLabel(tr("Channel Details"), header);
    title->setFont(roleFont(FontRole::headline));
    removable_->setFont(roleFont(FontRole::caption));
    setForegroundColor(removable_, tintColor(Tint::orange, palette()));
    row->addWidget(icon);
    row->addWidget(title);
    row->addWidget(removable_);
    row->addStretch(1);
    return header;
}

void MultichannelDetailPanel::setAnalysis(const MultichannelAnalysis& analysis, int channelCount) {
    clearCells();
    const QString removable = removableChannelsText(analysis);
    removable_->setText(removable);
    removable_->setVisible(!removable.isEmpty());
    columns_ = std::clamp(channelCount, 1, maxColumns);
    for (int c = 0; c < maxColumns; ++c) grid_->setColumnStretch(c, c < columns_ ? 1 : 0);
    for (const ChannelAnalysis& channel : analysis.channels) {
        auto* cell = new ChannelCell(channel, this);
        const int position = int(cells_.size());
        grid_->addWidget(cell, position / columns_, position % columns_);
        cells_ << cell;
    }
}

QString MultichannelDetailPanel::removableText() const { return removable_->text(); }

QPair<int, int> MultichannelDetailPanel::cellPosition(int channelIndex) const {
    int row = -1, column = -1, rowSpan = 0, columnSpan = 0;
    const int at = grid_->indexOf(cells_.value(channelIndex));
    if (at >= 0) grid_->getItemPosition(at, &row, &column, &rowSpan, &columnSpan);
    return {row, column};
}

void MultichannelDetailPanel::clearCells() {
    for (ChannelCell* cell : std::as_const(cells_)) {
        grid_->removeWidget(cell);
        delete cell;
    }
    cells_.clear();
}

void MultichannelDetailPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), controlBackgroundColor(palette()));
}

}  // namespace twinfold
