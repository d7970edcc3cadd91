#include "ui/ChannelOverviewView.h"

#include "ui/Theme.h"

#include <QPainter>

#include <algorithm>

namespace twinfold {

namespace {

constexpr int kStripGap = 3;
constexpr int kLabelGap = 6;
constexpr int kMaxLabelWidth = 120;

}  // namespace

ChannelOverviewView::ChannelOverviewView(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFont(roleFont(FontRole::caption));
    setAccessibleName(tr("Channel overviews"));
}

void ChannelOverviewView::setLabels(const QStringList& labels) {
    labels_ = labels;
    overviews_.clear();
    updateGeometry();
    update();
}

void ChannelOverviewView::setOverviews(std::vector<ChannelOverview> overviews) {
    overviews_ = std::move(overviews);
    update();
}

// Two channels get room to show their shape; many get thinner strips so a
// sixteen-track file still fits a modest panel.
int ChannelOverviewView::stripHeight() const {
    const int text = fontMetrics().height();
    return labels_.size() <= 2 ? std::max(text * 2, 30) : std::max(text + 2, 16);
}

int ChannelOverviewView::labelWidth() const {
    int widest = 0;
    for (const QString& label : labels_) widest = std::max(widest, fontMetrics().horizontalAdvance(label));
    return std::min(widest, kMaxLabelWidth);
}

QSize ChannelOverviewView::sizeHint() const {
    const int strips = std::max(int(labels_.size()), 1);
    return {labelWidth() + kLabelGap + 256, strips * stripHeight() + (strips - 1) * kStripGap};
}

QSize ChannelOverviewView::minimumSizeHint() const { return {labelWidth() + kLabelGap + 64, sizeHint().height()}; }

void ChannelOverviewView::paintStrip(QPainter& painter, const QRectF& strip, const ChannelOverview* overview) const {
    painter.setPen(Qt::NoPen);
    painter.setBrush(windowBackgroundColor(palette()));
    painter.drawRoundedRect(strip, 3, 3);
    const qreal middle = strip.center().y();
    painter.setPen(QPen(withOpacity(tintColor(Tint::secondary, palette()), 0.3), 1));
    painter.drawLine(QPointF(strip.left(), middle), QPointF(strip.right(), middle));
    if (!overview || overview->minima.empty() || overview->minima.size() != overview->maxima.size()) return;
    const std::size_t columns = overview->minima.size();
    const qreal step = strip.width() / qreal(columns);
    const qreal half = strip.height() / 2 - 1;
    const QColor ink = tintColor(Tint::teal, palette());
    for (std::size_t c = 0; c < columns; ++c) {
        const qreal top = middle - std::clamp(qreal(overview->maxima[c]), -1.0, 1.0) * half;
        const qreal bottom = middle - std::clamp(qreal(overview->minima[c]), -1.0, 1.0) * half;
        // A flat column still shows as a hairline, so silence reads as silence.
        const QRectF bar(strip.left() + qreal(c) * step, top, std::max(step, 1.0), std::max(bottom - top, 1.0));
        painter.fillRect(bar, ink);
    }
}

void ChannelOverviewView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int label = labelWidth();
    const int strip = stripHeight();
    for (int i = 0; i < labels_.size(); ++i) {
        const int top = i * (strip + kStripGap);
        painter.setPen(tintColor(Tint::secondary, palette()));
        const QRect text(0, top, label, strip);
        painter.drawText(text, Qt::AlignVCenter | Qt::AlignLeft,
                         fontMetrics().elidedText(labels_[i], Qt::ElideRight, label));
        const QRectF area(label + kLabelGap, top, width() - label - kLabelGap, strip);
        const ChannelOverview* overview = std::size_t(i) < overviews_.size() ? &overviews_[std::size_t(i)] : nullptr;
        paintStrip(painter, area, overview);
    }
}

}  // namespace twinfold
