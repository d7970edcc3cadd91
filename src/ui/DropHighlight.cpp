#include "ui/DropHighlight.h"

#include "ui/Theme.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>

namespace twinfold {

DropHighlight::DropHighlight(QWidget* parent) : QWidget(parent), fade_(new QPropertyAnimation(this, "opacity", this)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    fade_->setDuration(fadeMilliseconds);
    fade_->setEasingCurve(QEasingCurve::InOutQuad);
    setGeometry(parent->rect());
    parent->installEventFilter(this);
    hide();
}

void DropHighlight::setTargeted(bool targeted) {
    if (targeted == targeted_) return;
    targeted_ = targeted;
    fade_->stop();
    fade_->setStartValue(opacity_);
    fade_->setEndValue(targeted ? 1.0 : 0.0);
    raise();
    show();
    fade_->start();
}

void DropHighlight::setOpacity(qreal opacity) {
    opacity_ = opacity;
    setVisible(opacity_ > 0);
    update();
}

// Follows the window's size so the frame always hugs its edges.
bool DropHighlight::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize) setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

void DropHighlight::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(opacity_);
    const QColor accent = tintColor(Tint::accent, palette());
    const QRectF shape = QRectF(rect()).adjusted(inset, inset, -inset, -inset);
    QPainterPath path;
    path.addRoundedRect(shape, cornerRadius, cornerRadius);
    painter.fillPath(path, withOpacity(accent, 0.05));
    // Stroked inside the shape: the pen's centre runs half a line inwards.
    const QRectF strokeRect = shape.adjusted(lineWidth / 2, lineWidth / 2, -lineWidth / 2, -lineWidth / 2);
    QPen pen(accent, lineWidth);
    pen.setDashPattern({8 / lineWidth, 4 / lineWidth});  // in units of the line width
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(strokeRect, cornerRadius - lineWidth / 2, cornerRadius - lineWidth / 2);
}

}  // namespace twinfold
