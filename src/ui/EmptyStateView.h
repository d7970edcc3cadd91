#pragma once

#include <QWidget>

namespace twinfold {

// What the content area shows before there is anything to list: the logo
// and how to begin.
class EmptyStateView : public QWidget {
    Q_OBJECT
public:
    static constexpr int logoSize = 64;
    static constexpr int textWidth = 400;

    explicit EmptyStateView(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace twinfold
