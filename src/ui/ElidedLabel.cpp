#include "ui/ElidedLabel.h"

#include <QFontMetrics>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>

namespace twinfold {

ElidedLabel::ElidedLabel(Qt::TextElideMode mode, int maxLines, QWidget* parent)
    : QWidget(parent), mode_(mode), maxLines_(std::max(1, maxLines)) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    if (maxLines_ > 1) {
        QSizePolicy policy = sizePolicy();
        policy.setHeightForWidth(true);
        setSizePolicy(policy);
    }
}

void ElidedLabel::setText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    updateGeometry();
    update();
}

QStringList ElidedLabel::displayedLines(int width) const {
    if (width < 0) width = contentsRect().width();
    const QFontMetrics metrics(font());
    if (maxLines_ == 1) {
        QString flat = text_;
        flat.replace(QLatin1Char('\n'), QLatin1Char(' '));
        return {metrics.elidedText(flat, mode_, width)};
    }
    return wrappedLines(width);
}

// Lays the text out in lines of the width; when it needs more than the
// limit, the last allowed line takes the rest of the text, shortened.
QStringList ElidedLabel::wrappedLines(int width) const {
    const QFontMetrics metrics(font());
    QString text = text_;
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(text, font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(std::max(width, 1));
        if (lines.size() == maxLines_ - 1) {
            QString rest = text.mid(line.textStart());
            rest.replace(QChar::LineSeparator, QLatin1Char(' '));
            lines << metrics.elidedText(rest.trimmed(), Qt::ElideRight, width);
            break;
        }
        lines << text.mid(line.textStart(), line.textLength()).remove(QChar::LineSeparator).trimmed();
    }
    layout.endLayout();
    if (lines.isEmpty()) lines << QString();
    return lines;
}

QSize ElidedLabel::sizeHint() const {
    const QFontMetrics metrics(font());
    const int width = metrics.horizontalAdvance(text_) + 2;
    return {width, heightForWidth(width)};
}

QSize ElidedLabel::minimumSizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(QStringLiteral("…")) * 4, metrics.height()};
}

int ElidedLabel::heightForWidth(int width) const {
    const QFontMetrics metrics(font());
    const auto lines = maxLines_ == 1 ? 1 : int(wrappedLines(width).size());
    return lines * metrics.lineSpacing();
}

void ElidedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    const QFontMetrics metrics(font());
    const QRect area = contentsRect();
    int y = area.top();
    for (const QString& line : displayedLines(area.width())) {
        painter.drawText(QRect(area.left(), y, area.width(), metrics.lineSpacing()), Qt::AlignLeft | Qt::AlignVCenter,
                         line);
        y += metrics.lineSpacing();
    }
}

}  // namespace twinfold
