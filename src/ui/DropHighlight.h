#pragma once

#include <QWidget>

class QPropertyAnimation;

namespace twinfold {

// The dashed frame drawn over the whole window while files are dragged over
// it. It fades in and out instead of blinking, and never takes a click.
class DropHighlight : public QWidget {
    Q_OBJECT
    Q_PROPERTY(qreal opacity READ opacity WRITE setOpacity)
public:
    static constexpr int inset = 4;
    static constexpr qreal cornerRadius = 10;
    static constexpr qreal lineWidth = 2;
    static constexpr int fadeMilliseconds = 150;

    explicit DropHighlight(QWidget* parent);

    // Fades towards fully shown (true) or fully hidden (false).
    void setTargeted(bool targeted);
    bool isTargeted() const { return targeted_; }

    qreal opacity() const { return opacity_; }
    void setOpacity(qreal opacity);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QPropertyAnimation* fade_;
    qreal opacity_ = 0;
    bool targeted_ = false;
};

}  // namespace twinfold
