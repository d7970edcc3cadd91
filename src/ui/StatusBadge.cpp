#include "ui/StatusBadge.h"

#include "ui/ResultPresentation.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

namespace twinfold {

StatusBadge::StatusBadge(const ScanResult& result) : look_{statusBadgeText(result), badgeTint(result)} {}

QSize StatusBadge::sizeHint(const BadgeLook& look, const QFont& font) {
    const QFontMetrics metrics(font);
    // One pixel of slack: advances are rounded, the eliding is not.
    const int width = 2 * horizontalMargin + dotSize + dotSpacing + metrics.horizontalAdvance(look.text) + 1;
    const int height = 2 * verticalMargin + std::max(dotSize, metrics.height());
    return {width, height};
}

void StatusBadge::paint(QPainter* painter, const QRect& area, const BadgeLook& look, const QPalette& palette,
                        const QFont& font, bool onSelection) {
    const QSize size = sizeHint(look, font).boundedTo(area.size());
    const QRect badge(area.left(), area.top() + (area.height() - size.height()) / 2, size.width(), size.height());
    const QColor color = tintColor(look.tint, palette);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    if (onSelection) {
        painter->setBrush(controlBackgroundColor(palette));
        painter->drawRoundedRect(QRectF(badge), cornerRadius, cornerRadius);
    }
    painter->setBrush(withOpacity(color, backgroundOpacity));
    painter->drawRoundedRect(QRectF(badge), cornerRadius, cornerRadius);
    painter->setBrush(color);
    const int dotTop = badge.top() + (badge.height() - dotSize) / 2;
    painter->drawEllipse(QRectF(badge.left() + horizontalMargin, dotTop, dotSize, dotSize));
    const int textLeft = badge.left() + horizontalMargin + dotSize + dotSpacing;
    const QRect textArea(textLeft, badge.top(), badge.right() - horizontalMargin - textLeft + 2, badge.height());
    painter->setFont(font);
    painter->setPen(onSelection ? palette.color(QPalette::Text) : tintColor(Tint::primary, palette));
    painter->drawText(textArea, Qt::AlignLeft | Qt::AlignVCenter,
                      QFontMetrics(font).elidedText(look.text, Qt::ElideRight, textArea.width()));
    painter->restore();
}

}  // namespace twinfold
