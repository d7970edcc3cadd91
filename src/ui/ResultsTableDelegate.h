#pragma once

#include <QStyledItemDelegate>

namespace twinfold {

// Draws the two columns that are more than text: the check mark, centred and
// dimmed where it takes no clicks, and the status badge.
class ResultsTableDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int checkIconSize = 16;

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    void paintCheckMark(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const;
    void paintBadge(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const;
};

}  // namespace twinfold
