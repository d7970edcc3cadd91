#include "ui/Theme.h"

#include <QApplication>
#include <QFontDatabase>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace twinfold {

namespace {

struct RoleMetrics {
    qreal scale;
    QFont::Weight weight;
};

RoleMetrics metricsOf(FontRole role) {
    switch (role) {
    case FontRole::title2: return {1.4, QFont::DemiBold};
    case FontRole::title3: return {1.2, QFont::Normal};
    case FontRole::headline: return {1.0, QFont::DemiBold};
    case FontRole::body: return {1.0, QFont::Normal};
    case FontRole::subheadline: return {0.92, QFont::Normal};
    case FontRole::callout: return {0.96, QFont::Normal};
    case FontRole::caption: return {0.85, QFont::Normal};
    case FontRole::caption2: return {0.8, QFont::Normal};
    }
    return {1.0, QFont::Normal};
}

// Small roles stay readable on desktops whose base font is already small.
constexpr qreal kSmallestPointSize = 7.5;

QFont scaled(QFont font, FontRole role) {
    const RoleMetrics metrics = metricsOf(role);
    const qreal base = QApplication::font().pointSizeF() > 0 ? QApplication::font().pointSizeF() : 10.0;
    font.setPointSizeF(std::max(base * metrics.scale, kSmallestPointSize));
    font.setWeight(metrics.weight);
    return font;
}

}  // namespace

QColor tintColor(Tint tint, const QPalette& palette) {
    switch (tint) {
    case Tint::primary: return palette.color(QPalette::WindowText);
    case Tint::secondary: return withOpacity(palette.color(QPalette::WindowText), 0.55);
    case Tint::accent:
    case Tint::blue: return QColor(0x00, 0x7A, 0xFF);
    case Tint::orange: return QColor(0xFF, 0x95, 0x00);
    case Tint::red: return QColor(0xFF, 0x3B, 0x30);
    case Tint::purple: return QColor(0xAF, 0x52, 0xDE);
    case Tint::teal: return QColor(0x30, 0xB0, 0xC7);
    case Tint::gray: return QColor(0x8E, 0x8E, 0x93);
    case Tint::green: return QColor(0x28, 0xA7, 0x45);
    }
    return palette.color(QPalette::WindowText);
}

namespace {

qreal linear(qreal channel) { return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4); }

qreal luminance(const QColor& color) {
    const QColor rgb = color.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) + 0.0722 * linear(rgb.blueF());
}

QColor mixed(const QColor& from, const QColor& to, qreal amount) {
    const QColor a = from.toRgb();
    const QColor b = to.toRgb();
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * amount),
                            float(a.greenF() + (b.greenF() - a.greenF()) * amount),
                            float(a.blueF() + (b.blueF() - a.blueF()) * amount));
}

// A translucent colour as it shows over `background`.
QColor over(const QColor& color, const QColor& background) {
    return mixed(background, QColor(color.red(), color.green(), color.blue()), color.alphaF());
}

}  // namespace

qreal contrastRatio(const QColor& a, const QColor& b) {
    const qreal la = luminance(a);
    const qreal lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor figureColor(Tint tint, const QPalette& palette) {
    const QColor background = windowBackgroundColor(palette);
    const QColor start = over(tintColor(tint, palette), background);
    const QColor goal = luminance(background) > 0.18 ? QColor(Qt::black) : QColor(Qt::white);
    QColor color = start;
    for (int step = 1; step <= 20 && contrastRatio(color, background) < kMinimumTextContrast; ++step)
        color = mixed(start, goal, step / 20.0);
    return color;
}

QColor withOpacity(QColor color, qreal opacity) {
    color.setAlphaF(color.alphaF() * opacity);
    return color;
}

void setForegroundColor(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    palette.setColor(QPalette::ButtonText, color);
    widget->setPalette(palette);
}

QColor controlBackgroundColor(const QPalette& palette) { return palette.color(QPalette::Base); }

QColor windowBackgroundColor(const QPalette& palette) { return palette.color(QPalette::Window); }

QFont roleFont(FontRole role) { return scaled(QApplication::font(), role); }

QFont monospacedRoleFont(FontRole role) { return scaled(QFontDatabase::systemFont(QFontDatabase::FixedFont), role); }

}  // namespace twinfold
