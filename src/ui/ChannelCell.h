#pragma once

#include "ui/Theme.h"

#include <QWidget>

class QLabel;

namespace twinfold {

struct ChannelAnalysis;

// One channel of a multichannel file in the detail panel: its number, label
// and peak, and a pill saying whether it is silent, unique or a duplicate.
class ChannelCell : public QWidget {
    Q_OBJECT
public:
    static constexpr int innerMargin = 6;
    static constexpr int lineSpacing = 4;
    static constexpr qreal cornerRadius = 6;

    explicit ChannelCell(const ChannelAnalysis& channel, QWidget* parent = nullptr);

    Tint tint() const { return tint_; }
    QString numberText() const;
    QString labelText() const;
    QString peakText() const;
    QString pillText() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Tint tint_;
    QLabel* number_;
    QLabel* label_;
    QLabel* peak_;
    QLabel* pill_;
};

}  // namespace twinfold
