#pragma once

#include <QProxyStyle>

class QAbstractButton;

namespace twinfold {

// The primary action's look: a white label on a blue rounded rectangle
// (corner radius 6), the blue at 40 % while disabled, the whole button at
// 80 % while pressed; 12 × 5 of inner margin around the label.
class PrimaryButtonStyle : public QProxyStyle {
    Q_OBJECT
public:
    static constexpr int horizontalMargin = 12;
    static constexpr int verticalMargin = 5;
    static constexpr qreal cornerRadius = 6;
    static constexpr qreal disabledFillOpacity = 0.4;
    static constexpr qreal pressedOpacity = 0.8;

    // Gives the button this look; one style object serves every button.
    static void apply(QAbstractButton* button);
    static bool isApplied(const QAbstractButton* button);

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& contentsSize,
                           const QWidget* widget) const override;

private:
    PrimaryButtonStyle();
    static PrimaryButtonStyle* shared();
};

}  // namespace twinfold
