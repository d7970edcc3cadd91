#include "ui/ResultsTable.h"

#include "ui/ResultsTableModel.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>

#include <algorithm>

namespace twinfold {

ResultsTable::ResultsTable(QWidget* parent) : QTableView(parent) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setShowGrid(false);
    setFrameShape(QFrame::NoFrame);
    setAlternatingRowColors(true);
    setWordWrap(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAcceptDrops(false);
    verticalHeader()->hide();
    setTextElideMode(Qt::ElideMiddle);
    setTabKeyNavigation(false);
}

void ResultsTable::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier && currentIndex().isValid()) {
        emit checkMarkClicked(currentIndex().row());
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

// Moving through the rows without Shift only moves the focus; a stray arrow
// key must not replace a long hand-made selection with one row.
QItemSelectionModel::SelectionFlags ResultsTable::selectionCommand(const QModelIndex& index,
                                                                   const QEvent* event) const {
    if (event && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<const QKeyEvent*>(event);
        if (!(key->modifiers() & Qt::ShiftModifier) && key->key() != Qt::Key_Space)
            return QItemSelectionModel::NoUpdate;
    }
    return QTableView::selectionCommand(index, event);
}

bool ResultsTable::takeCheckMarkClick(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return false;
    const QModelIndex index = indexAt(event->position().toPoint());
    if (!index.isValid() || index.column() != ResultsTableModel::checkColumn) return false;
    emit checkMarkClicked(index.row());
    event->accept();
    return true;
}

// A click on the mark is a button press, not a row selection, so the base
// class never sees it.
void ResultsTable::mousePressEvent(QMouseEvent* event) {
    if (takeCheckMarkClick(event)) return;
    QTableView::mousePressEvent(event);
}

// The second click of a quick pair on the mark is one more toggle.
void ResultsTable::mouseDoubleClickEvent(QMouseEvent* event) {
    if (takeCheckMarkClick(event)) return;
    QTableView::mouseDoubleClickEvent(event);
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && index.isValid()) emit rowDoubleClicked(index.row());
}

// Delivered through the viewport, so the position is already in its coordinates.
void ResultsTable::contextMenuEvent(QContextMenuEvent* event) {
    emit contextMenuRequested(rowsForMenuAt(event->pos()), event->globalPos());
    event->accept();
}

// A click on a selected row is about the whole selection; on any other row
// only about that row.
QList<int> ResultsTable::rowsForMenuAt(const QPoint& position) const {
    const QModelIndex index = indexAt(position);
    if (!index.isValid()) return {};
    if (!selectionModel()->isRowSelected(index.row(), QModelIndex())) return {index.row()};
    QList<int> rows;
    for (const QModelIndex& selected : selectionModel()->selectedRows()) rows << selected.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

}  // namespace twinfold
