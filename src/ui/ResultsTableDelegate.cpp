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
void paintRowBackground(QPainter* painter, QStyleOptionViewItem option) {
    option.text.clear();
    option.icon = QIcon();
    option.features &= ~QStyleOptionViewItem::HasDisplay;
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &option, painter, widget);
}

constexpr int kTagMargin = 6;
constexpr int kTagGap = 6;

QSize tagSize(const QString& tag, const QFont& font) {
    const QFontMetrics metrics(font);
    return {metrics.horizontalAdvance(tag) + 2 * kTagMargin, metrics.height() + 2};
}

// A small grey pill with the tag's word, at the right end of `cell`.
void paintTag(QPainter* painter, const QRect& cell, const QString& tag, const QPalette& palette, bool selected) {
    const QFont font = roleFont(FontRole::caption2);
    const QSize size = tagSize(tag, font);
    const QRect pill(cell.right() - kTagGap - size.width(), cell.top() + (cell.height() - size.height()) / 2,
                     size.width(), size.height());
    const QColor text = selected ? palette.color(QPalette::HighlightedText) : tintColor(Tint::secondary, palette);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(withOpacity(selected ? text : tintColor(Tint::gray, palette), 0.2));
    painter->drawRoundedRect(QRectF(pill), 4, 4);
    painter->setFont(font);
    painter->setPen(text);
    painter->drawText(pill, Qt::AlignCenter, tag);
    painter->restore();
}

}  // namespace

void ResultsTableDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    switch (index.column()) {
    case ResultsTableModel::checkColumn: paintCheckMark(painter, option, index); break;
    case ResultsTableModel::statusColumn: paintBadge(painter, option, index); break;
    case ResultsTableModel::filenameColumn: paintFilename(painter, option, index); break;
    default: QStyledItemDelegate::paint(painter, option, index);
    }
}

void ResultsTableDelegate::paintCheckMark(QPainter* painter, const QStyleOptionViewItem& option,
                                          const QModelIndex& index) const {
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
                                      const QModelIndex& index) const {
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    paintRowBackground(painter, item);
    const BadgeLook look{index.data(ResultsTableModel::StatusTextRole).toString(),
                         Tint(index.data(ResultsTableModel::TintRole).toInt())};
    // On a selected row the badge keeps its own light ground, so a blue or
    // teal badge does not melt into the selection colour.
    StatusBadge::paint(painter, option.rect.adjusted(4, 1, -4, -1), look, option.palette, roleFont(FontRole::caption),
                       option.state & QStyle::State_Selected);
}

// The name (elided as usual) gives way to the tag at the cell's right end.
void ResultsTableDelegate::paintFilename(QPainter* painter, const QStyleOptionViewItem& option,
                                         const QModelIndex& index) const {
    const QString tag = index.data(ResultsTableModel::TagRole).toString();
    if (tag.isEmpty()) return QStyledItemDelegate::paint(painter, option, index);
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    paintRowBackground(painter, item);
    QStyleOptionViewItem name = option;
    name.rect.setRight(option.rect.right() - 2 * kTagGap - tagSize(tag, roleFont(FontRole::caption2)).width());
    QStyledItemDelegate::paint(painter, name, index);
    paintTag(painter, option.rect, tag, option.palette, option.state & QStyle::State_Selected);
}

QSize ResultsTableDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    if (index.column() == ResultsTableModel::statusColumn) {
        const BadgeLook look{index.data(ResultsTableModel::StatusTextRole).toString(), Tint::primary};
        size = size.expandedTo(StatusBadge::sizeHint(look, roleFont(FontRole::caption)) + QSize(8, 2));
    }
    return size;
}

}  // namespace twinfold
