#include "ui/PrimaryButtonStyle.h"

#include "ui/Theme.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QStyleOptionButton>

namespace twinfold {

PrimaryButtonStyle::PrimaryButtonStyle() = default;

PrimaryButtonStyle* PrimaryButtonStyle::shared() {
    static QPointer<PrimaryButtonStyle> style;
    if (!style) {
        style = new PrimaryButtonStyle;
        style->setParent(qApp);
    }
    return style;
}

void PrimaryButtonStyle::apply(QAbstractButton* button) {
    button->setStyle(shared());
    button->setCursor(Qt::ArrowCursor);
    button->updateGeometry();
}

bool PrimaryButtonStyle::isApplied(const QAbstractButton* button) {
    return qobject_cast<const PrimaryButtonStyle*>(button->style()) != nullptr;
}

void PrimaryButtonStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                                     const QWidget* widget) const {
    const auto* buttonOption = qstyleoption_cast<const QStyleOptionButton*>(option);
    if (element != CE_PushButton || !buttonOption) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    const bool enabled = option->state & State_Enabled;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    if (option->state & State_Sunken) painter->setOpacity(pressedOpacity);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(option->rect), cornerRadius, cornerRadius);
    const QColor blue = tintColor(Tint::blue, option->palette);
    painter->fillPath(shape, enabled ? blue : withOpacity(blue, disabledFillOpacity));
    if (option->state & State_HasFocus) {
        // A dark edge with a white ring inside it: plain to see on the blue,
        // whatever the window behind.
        painter->setPen(QPen(blue.darker(170), 1.5));
        painter->drawRoundedRect(QRectF(option->rect).adjusted(0.75, 0.75, -0.75, -0.75), cornerRadius, cornerRadius);
        painter->setPen(QPen(Qt::white, 1.5));
        painter->drawRoundedRect(QRectF(option->rect).adjusted(2.5, 2.5, -2.5, -2.5), cornerRadius - 2,
                                 cornerRadius - 2);
    }
    painter->setPen(Qt::white);
    painter->drawText(option->rect, Qt::AlignCenter | Qt::TextShowMnemonic, buttonOption->text);
    painter->restore();
}

QSize PrimaryButtonStyle::sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& contentsSize,
                                           const QWidget* widget) const {
    if (type != CT_PushButton) return QProxyStyle::sizeFromContents(type, option, contentsSize, widget);
    return contentsSize + QSize(2 * horizontalMargin, 2 * verticalMargin);
}

}  // namespace twinfold
