#include "ui/RoundedBox.h"

#include "ui/Theme.h"

#include <QPainter>

namespace twinfold {

RoundedBox::RoundedBox(qreal radius, Outline outline, QWidget* parent)
    : QWidget(parent), radius_(radius), outline_(outline) {}

void RoundedBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(controlBackgroundColor(palette()));
    if (outline_ == Outline::none) {
        painter.setPen(Qt::NoPen);
        painter.drawRoundedRect(QRectF(rect()), radius_, radius_);
        return;
    }
    // Inset by half the pen so the whole hairline falls inside the widget.
    painter.setPen(QPen(palette().color(QPalette::Mid), 0.5));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius_, radius_);
}

}  // namespace twinfold
