#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <QStringList>

namespace twinfold {

// The window's symbols ("folder", "circle", "checkmark.circle.fill", …),
// each one SVG picture of ours in the library's resources, drawn in any
// colour; nothing comes from the desktop's icon theme.
QStringList symbolNames();
bool hasSymbol(const QString& name);

// The symbol drawn in `color` into a square of `size` device-independent
// pixels. The marks inside filled symbols (the tick of
// "checkmark.circle.fill", …) are drawn in `knockout`: white on a plain
// background, the selection colour when the symbol itself turns white on a
// selected row. A name without a picture gives a null pixmap.
QPixmap symbolPixmap(const QString& name, const QColor& color, int size, qreal devicePixelRatio = 1.0,
                     const QColor& knockout = Qt::white);
QIcon symbolIcon(const QString& name, const QColor& color);

// The application's logo, "TwinfoldLogo", in its own colours.
QPixmap logoPixmap(int size, qreal devicePixelRatio = 1.0);
QIcon logoIcon();

}  // namespace twinfold
