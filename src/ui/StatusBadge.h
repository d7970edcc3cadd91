#pragma once

#include "records/ScanResult.h"
#include "ui/Theme.h"

#include <QFont>
#include <QRect>
#include <QString>

class QPainter;

namespace twinfold {

// What a badge shows: the status text and the badge colour.
struct BadgeLook {
    QString text;
    Tint tint = Tint::blue;
};

// A result's status as a coloured badge: a dot and the status text on the
// badge colour at 15 %, drawn by the table's status column.
class StatusBadge {
public:
    static constexpr int horizontalMargin = 8;
    static constexpr int verticalMargin = 4;
    static constexpr int dotSize = 8;
    static constexpr int dotSpacing = 5;
    static constexpr qreal cornerRadius = 4;
    static constexpr qreal backgroundOpacity = 0.15;

    explicit StatusBadge(const ScanResult& result);

    const BadgeLook& look() const { return look_; }
    const QString& text() const { return look_.text; }
    Tint tint() const { return look_.tint; }

    static QSize sizeHint(const BadgeLook& look, const QFont& font);
    // Draws the badge at the left of `area`, centred vertically, no wider than it.
    static void paint(QPainter* painter, const QRect& area, const BadgeLook& look, const QPalette& palette,
                      const QFont& font, bool onSelection = false);

private:
    BadgeLook look_;
};

}  // namespace twinfold
