#include "ui/ResultsTableDelegate.h"

#include "ui/ResultsTableModel.h"
#include "ui/StatusBadge.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QPainter>

namespace twinfold {

namespace {

// The row's background and selection, without any text.
void paintRowBackground(QPainter* painter, QStyleOptionViewItem option)
{
    option.text.clear();
    option.icon = QIcon();
    option.features &= ~QStyleOptionViewItem::HasDisplay;
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &option, painter, widget);
}

}  // namespace

void ResultsTableDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const
{
    switch (index.column()) {
    case ResultsTableModel::checkColumn: paintCheckMark(painter, option, index); break;
    case ResultsTableModel::statusColumn: paintBadge(painter, option, index); break;
    default: QStyledItemDelegate::paint(painter, option, index);
    }
}

void ResultsTableDelegate::paintCheckMark(QPainter* painter, const QStyleOptionViewItem& option,
                                          const QModelIndex& index) const
{
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    paintRowBackground(painter, item);
    const auto tint = Tint(index.data(ResultsTableModel::TintRole).toInt());
    const bool selected = option.state & QStyle::State_Selected;
    const QPixmap mark = symbolPixmap(index.data(ResultsTableModel::CheckSymbolRole).toString(),
                                      selected ? QColor(Qt::white) : tintColor(tint, option.palette), checkIconSize,
                                      painter->device()->devicePixelRatioF(),
                                      selected ? option.palette.color(QPalette::Highlight) : QColor(Qt::white));
    const QRect target(option.rect.center().x() - checkIconSize / 2 + 1,
                       option.rect.center().y() - checkIconSize / 2 + 1, checkIconSize, checkIconSize);
    painter->save();
    painter->setOpacity(index.data(ResultsTableModel::CheckOpacityRole).toReal());
    painter->drawPixmap(target, mark);
    painter->restore();
}

void ResultsTableDelegate::paintBadge(QPainter* painter, const QStyleOptionViewItem& option,
                                      const QModelIndex& index) const
{
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    paintRowBackground(painter, item);
    const BadgeLook look{index.data(ResultsTableModel::StatusTextRole).toString(),
                         Tint(index.data(ResultsTableModel::TintRole).toInt())};
    // The badge's words turn white on a selected row, like the row's text.
    QPalette palette = option.palette;
    if (option.state & QStyle::State_Selected)
        palette.setColor(QPalette::WindowText, palette.color(QPalette::HighlightedText));
    StatusBadge::paint(painter, option.rect.adjusted(4, 1, -4, -1), look, palette, roleFont(FontRole::caption));
}

QSize ResultsTableDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    if (index.column() == ResultsTableModel::statusColumn) {
        const BadgeLook look{index.data(ResultsTableModel::StatusTextRole).toString(), Tint::primary};
        size = size.expandedTo(StatusBadge::sizeHint(look, roleFont(FontRole::caption)) + QSize(8, 2));
    }
    return size;
}

}  // namespace twinfold
