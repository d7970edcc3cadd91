#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

class QWidget;

namespace twinfold {

// The named colours of the window. Views pick a tint by meaning (a kind of
// result, a channel state); the tint becomes a colour only when drawn, so
// the choice can be checked without comparing pixels.
enum class Tint { primary, secondary, accent, blue, orange, red, purple, teal, gray, green };

QColor tintColor(Tint tint, const QPalette& palette);
// A tint as text on the window's background: darkened on a light window,
// lightened on a dark one, just enough to read (a contrast ratio of 4.5:1).
QColor figureColor(Tint tint, const QPalette& palette);
// The contrast ratio of two opaque colours, 1 to 21, as accessibility
// guidelines define it (relative luminance, sRGB).
qreal contrastRatio(const QColor& a, const QColor& b);
constexpr qreal kMinimumTextContrast = 4.5;

// The same colour with its alpha scaled by `opacity` (0…1).
QColor withOpacity(QColor color, qreal opacity);

// Sets the colour a widget draws its text (and a label its words) in.
void setForegroundColor(QWidget* widget, const QColor& color);

// Backgrounds: behind controls and lists (the palette's Base), and of the
// window itself (the palette's Window).
QColor controlBackgroundColor(const QPalette& palette);
QColor windowBackgroundColor(const QPalette& palette);

// Type sizes by role, derived from the application font so they follow the
// desktop's chosen size.
enum class FontRole { title2, title3, headline, body, subheadline, callout, caption, caption2 };
QFont roleFont(FontRole role);
// The desktop's fixed-width font at a role's size.
QFont monospacedRoleFont(FontRole role);

}  // namespace twinfold
