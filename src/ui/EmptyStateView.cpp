#include "ui/EmptyStateView.h"

#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace twinfold {

EmptyStateView::EmptyStateView(QWidget* parent) : QWidget(parent) {
    auto* logo = new QLabel(this);
    logo->setObjectName(QStringLiteral("TwinfoldLogo"));
    logo->setPixmap(logoPixmap(logoSize, devicePixelRatioF()));
    logo->setFixedSize(logoSize, logoSize);
    auto* prompt = new QLabel(tr("Select a folder or drop audio files here to scan"), this);
    prompt->setFont(roleFont(FontRole::title3));
    prompt->setAlignment(Qt::AlignCenter);
    auto* detail = new QLabel(tr("Twinfold will find stereo WAV, AIFF, MP3, and M4A files where left and "
                                 "right channels are identical (dual mono) or phase-inverted, allowing "
                                 "you to convert them to true mono files."),
                              this);
    detail->setFont(roleFont(FontRole::caption));
    detail->setAlignment(Qt::AlignCenter);
    detail->setWordWrap(true);
    detail->setMaximumWidth(textWidth);
    // Centred by stretches rather than by alignment, so the wrapped text
    // gets the height its lines need.
    auto* detailRow = new QHBoxLayout;
    detailRow->addStretch(1);
    detailRow->addWidget(detail, 100);
    detailRow->addStretch(1);
    setForegroundColor(detail, tintColor(Tint::secondary, palette()));

    auto* column = new QVBoxLayout(this);
    column->setSpacing(16);
    column->addStretch(1);
    column->addWidget(logo, 0, Qt::AlignHCenter);
    column->addWidget(prompt, 0, Qt::AlignHCenter);
    column->addLayout(detailRow);
    column->addStretch(1);
}

void EmptyStateView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), withOpacity(controlBackgroundColor(palette()), 0.5));
}

}  // namespace twinfold
