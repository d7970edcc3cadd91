#pragma once

#include "ui/Theme.h"

#include <QWidget>

class QLabel;

namespace twinfold {

// One figure of the summary bar: a small secondary title above its value;
// the value takes the highlight colour while highlighted.
class StatView : public QWidget {
    Q_OBJECT
public:
    explicit StatView(const QString& title, Tint highlightTint, QWidget* parent = nullptr);

    void setValue(const QString& value);
    void setHighlight(bool highlight);

    QString title() const;
    QString value() const;
    bool highlight() const { return highlight_; }
    Tint valueTint() const { return highlight_ ? highlightTint_ : Tint::primary; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyColors();

    QLabel* title_;
    QLabel* value_;
    Tint highlightTint_;
    bool highlight_ = false;
};

}  // namespace twinfold
