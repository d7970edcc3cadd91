#pragma once

#include <QStyledItemDelegate>

namespace twinfold {

// Draws what is more than text: the check mark, centred and dimmed where it
// takes no clicks, the status badge, and a tag after the file name.
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
    void paintFilename(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const;
};

}  // namespace twinfold
