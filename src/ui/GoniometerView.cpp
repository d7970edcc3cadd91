#include "ui/GoniometerView.h"

#include "ui/Theme.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace twinfold {

GoniometerView::GoniometerView(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFixedSize(sizeHint());
    setAccessibleName(tr("Goniometer"));
}

void GoniometerView::setCounts(std::vector<std::uint32_t> counts, int size) {
    const bool whole = size > 0 && counts.size() == std::size_t(size) * std::size_t(size);
    counts_ = whole ? std::move(counts) : std::vector<std::uint32_t>{};
    size_ = whole ? size : 0;
    update();
}

// One pixel per cell in the accent colour, its opacity the cell's share of
// the busiest cell on a log scale; empty cells stay clear.
QImage GoniometerView::densityImage() const {
    QImage image(size_, size_, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const std::uint32_t busiest = *std::max_element(counts_.begin(), counts_.end());
    if (busiest == 0) return image;
    const double scale = std::log1p(double(busiest));
    const QColor ink = tintColor(Tint::accent, palette());
    for (int row = 0; row < size_; ++row) {
        for (int column = 0; column < size_; ++column) {
            const std::uint32_t count = counts_[std::size_t(row) * std::size_t(size_) + std::size_t(column)];
            if (count == 0) continue;
            const double share = std::log1p(double(count)) / scale;
            image.setPixelColor(column, row, withOpacity(ink, 0.25 + 0.75 * share));
        }
    }
    return image;
}

// The mid and side axes, and the diagonals where one channel alone would
// fall.
void GoniometerView::paintAxes(QPainter& painter, const QRectF& square) const {
    const QColor line = withOpacity(tintColor(Tint::secondary, palette()), 0.35);
    painter.setPen(QPen(line, 1, Qt::DashLine));
    const QPointF centre = square.center();
    painter.drawLine(QPointF(centre.x(), square.top()), QPointF(centre.x(), square.bottom()));
    painter.drawLine(QPointF(square.left(), centre.y()), QPointF(square.right(), centre.y()));
    painter.setPen(QPen(withOpacity(line, 0.6), 1, Qt::DotLine));
    painter.drawLine(square.topLeft(), square.bottomRight());
    painter.drawLine(square.topRight(), square.bottomLeft());
    painter.setPen(tintColor(Tint::secondary, palette()));
    painter.setFont(roleFont(FontRole::caption2));
    const QRectF inner = square.adjusted(3, 1, -3, -1);
    painter.drawText(inner, Qt::AlignTop | Qt::AlignHCenter, tr("M"));
    painter.drawText(inner, Qt::AlignVCenter | Qt::AlignRight, tr("S"));
}

void GoniometerView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const qreal side = std::min(width(), height()) - 1;
    const QRectF square((width() - side) / 2, (height() - side) / 2, side, side);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(withOpacity(tintColor(Tint::secondary, palette()), 0.5));
    painter.setBrush(windowBackgroundColor(palette()));
    painter.drawRoundedRect(square, 4, 4);
    paintAxes(painter, square);
    if (counts_.empty()) {
        painter.setPen(tintColor(Tint::secondary, palette()));
        painter.setFont(roleFont(FontRole::caption));
        painter.drawText(square, Qt::AlignCenter | Qt::TextWordWrap, tr("No picture"));
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(square.adjusted(1, 1, -1, -1), densityImage());
}

}  // namespace twinfold
