#include "ui/ChannelCell.h"

#include "records/ChannelAnalysis.h"
#include "ui/RecordTexts.h"
#include "ui/ResultPresentation.h"

#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace twinfold {

namespace {

QLabel* lineLabel(const QString& text, const QFont& font, const QColor& color, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    setForegroundColor(label, color);
    return label;
}

// White text on a small rounded tag of the cell's colour.
QLabel* pillLabel(const QString& text, const QColor& color, QWidget* parent) {
    auto* pill = new QLabel(text, parent);
    pill->setFont(roleFont(FontRole::caption2));
    pill->setStyleSheet(QStringLiteral("QLabel { color: white; background-color: %1; border-radius: 3px;"
                                       " padding: 2px 6px; }")
                            .arg(color.name()));
    return pill;
}

}  // namespace

ChannelCell::ChannelCell(const ChannelAnalysis& channel, QWidget* parent)
    : QWidget(parent), tint_(channelTint(channel)) {
    const QPalette& colors = palette();
    number_ = lineLabel(recordText(presentation::channelNumberText(channel)), roleFont(FontRole::caption2),
                        tintColor(Tint::secondary, colors), this);
    QFont labelFont = monospacedRoleFont(FontRole::caption);
    labelFont.setWeight(QFont::Medium);
    label_ = lineLabel(QString::fromStdString(channel.channelLabel), labelFont, tintColor(Tint::primary, colors), this);
    peak_ = lineLabel(recordText(channel.peakText()), monospacedRoleFont(FontRole::caption2),
                      tintColor(channel.isSilent ? Tint::gray : Tint::primary, colors), this);
    pill_ = pillLabel(channelPillText(channel), tintColor(tint_, colors), this);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(innerMargin, innerMargin, innerMargin, innerMargin);
    column->setSpacing(lineSpacing);
    for (QLabel* line : {number_, label_, peak_, pill_}) column->addWidget(line, 0, Qt::AlignLeft);
    setMinimumWidth(10);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

QString ChannelCell::numberText() const { return number_->text(); }

QString ChannelCell::labelText() const { return label_->text(); }

QString ChannelCell::peakText() const { return peak_->text(); }

QString ChannelCell::pillText() const { return pill_->text(); }

void ChannelCell::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(windowBackgroundColor(palette()));
    painter.setPen(QPen(withOpacity(tintColor(tint_, palette()), 0.3), 1.0));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
}

}  // namespace twinfold
