#include "ui/Symbols.h"

#include <QImage>

#include <gtest/gtest.h>

namespace twinfold {
namespace {

// Every name the window uses, each drawn from a picture of its own, and the logo.
TEST(SymbolsTest, EveryNameHasItsOwnPicture)
{
    const QStringList used{"folder", "circle", "checkmark.circle.fill", "minus.circle",
                           "square.stack.3d.up.badge.automatic", "square.stack.3d.up", "speaker.slash",
                           "speaker.slash.fill", "waveform.badge.exclamationmark", "doc.on.doc",
                           "doc.badge.ellipsis", "speaker.wave.2", "speaker.wave.1", "arrow.down.circle.fill",
                           "xmark"};
    QList<QImage> pictures;
    for (const QString& name : used) {
        ASSERT_TRUE(hasSymbol(name)) << name.toStdString();
        const QImage picture = symbolPixmap(name, Qt::black, 32).toImage();
        ASSERT_FALSE(picture.isNull()) << name.toStdString();
        for (qsizetype other = 0; other < pictures.size(); ++other)
            EXPECT_NE(picture, pictures[other]) << name.toStdString() << " looks like " << used[other].toStdString();
        pictures << picture;
    }
    EXPECT_EQ(symbolNames().size(), used.size());
    EXPECT_TRUE(symbolPixmap("no.such.symbol", Qt::black, 32).isNull());
    const QImage logo = logoPixmap(64).toImage();
    EXPECT_EQ(logo.size(), QSize(64, 64));
    EXPECT_GT(logo.pixelColor(32, 32).alpha(), 0);
}

TEST(SymbolsTest, TintAndKnockoutColourThePicture)
{
    // The edge of the filled circle takes the tint; the tick stays the knockout colour.
    const QImage red = symbolPixmap("checkmark.circle.fill", Qt::red, 32).toImage();
    EXPECT_EQ(red.pixelColor(16, 2).rgb(), QColor(Qt::red).rgb());
    const QImage knocked = symbolPixmap("checkmark.circle.fill", Qt::white, 32, 1.0, Qt::blue).toImage();
    bool hasBlue = false;
    for (int y = 0; y < 32 && !hasBlue; ++y)
        for (int x = 0; x < 32 && !hasBlue; ++x)
            hasBlue = knocked.pixelColor(x, y) == QColor(Qt::blue);
    EXPECT_TRUE(hasBlue);
}

}  // namespace
}  // namespace twinfold
