#include "ui/Symbols.h"

#include <QFile>
#include <QHash>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>

// Resources compiled into a static library have to be registered by hand,
// and the macro only works outside a namespace.
static void registerUiResources() { Q_INIT_RESOURCE(twinfold_ui); }

namespace twinfold {

namespace {

const QString kLogoName = QStringLiteral("TwinfoldLogo");

QString resourcePath(const QString& name) { return QStringLiteral(":/twinfold/icons/%1.svg").arg(name); }

// The SVG text of a picture; the symbols mark the tinted parts "currentColor".
QByteArray svgSource(const QString& name) {
    static const bool registered = (registerUiResources(), true);
    Q_UNUSED(registered);
    static QHash<QString, QByteArray> cache;
    auto found = cache.find(name);
    if (found == cache.end()) {
        QFile file(resourcePath(name));
        found = cache.insert(name, file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
    }
    return found.value();
}

QPixmap render(const QByteArray& svg, qreal opacity, int size, qreal dpr) {
    QSvgRenderer renderer(svg);
    if (svg.isEmpty() || !renderer.isValid()) return {};
    const int pixels = int(std::ceil(size * dpr));
    QPixmap pixmap(pixels, pixels);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(opacity);
    renderer.render(&painter, QRectF(0, 0, pixels, pixels));
    painter.end();
    pixmap.setDevicePixelRatio(dpr);
    return pixmap;
}

}  // namespace

QStringList symbolNames() {
    return {QStringLiteral("arrow.down.circle.fill"),
            QStringLiteral("checkmark.circle.fill"),
            QStringLiteral("circle"),
            QStringLiteral("doc.badge.ellipsis"),
            QStringLiteral("doc.on.doc"),
            QStringLiteral("folder"),
            QStringLiteral("minus.circle"),
            QStringLiteral("speaker.slash"),
            QStringLiteral("speaker.slash.fill"),
            QStringLiteral("speaker.wave.1"),
            QStringLiteral("speaker.wave.2"),
            QStringLiteral("square.stack.3d.up"),
            QStringLiteral("square.stack.3d.up.badge.automatic"),
            QStringLiteral("waveform.badge.exclamationmark"),
            QStringLiteral("xmark")};
}

bool hasSymbol(const QString& name) { return symbolNames().contains(name); }

// Tables draw the same few symbols in every row; each is rendered once.
QPixmap symbolPixmap(const QString& name, const QColor& color, int size, qreal devicePixelRatio,
                     const QColor& knockout) {
    if (!hasSymbol(name)) return {};
    static QHash<QString, QPixmap> rendered;
    const QString key = QStringLiteral("%1|%2|%3|%4|%5")
                            .arg(name, color.name(QColor::HexArgb), knockout.name())
                            .arg(size)
                            .arg(devicePixelRatio);
    if (auto found = rendered.constFind(key); found != rendered.cend()) return found.value();
    QByteArray svg = svgSource(name);
    // The SVG colour syntax has no alpha; the colour's alpha becomes opacity.
    // Knockout first: the tint itself may be white.
    svg.replace("#ffffff", knockout.name(QColor::HexRgb).toLatin1());
    svg.replace("currentColor", color.name(QColor::HexRgb).toLatin1());
    const QPixmap pixmap = render(svg, color.alphaF(), size, devicePixelRatio);
    rendered.insert(key, pixmap);
    return pixmap;
}

QIcon symbolIcon(const QString& name, const QColor& color) {
    QIcon icon;
    for (int size : {16, 24, 32, 48}) icon.addPixmap(symbolPixmap(name, color, size));
    return icon;
}

QPixmap logoPixmap(int size, qreal devicePixelRatio) {
    return render(svgSource(kLogoName), 1.0, size, devicePixelRatio);
}

QIcon logoIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256}) icon.addPixmap(logoPixmap(size));
    return icon;
}

}  // namespace twinfold
