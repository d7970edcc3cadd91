#pragma once

#include <QWidget>

namespace twinfold {

// A plain box painted in the control background with rounded corners, bare
// or ringed by a hairline in the palette's mid colour.
class RoundedBox : public QWidget {
public:
    enum class Outline { none, hairline };

    RoundedBox(qreal radius, Outline outline, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    qreal radius_;
    Outline outline_;
};

}  // namespace twinfold
