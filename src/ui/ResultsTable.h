#pragma once

#include <QList>
#include <QTableView>

namespace twinfold {

// The results table itself: rows select like any table, but a click in the
// check-mark column only toggles that row's mark, a double click asks for
// the file to be shown, and the context menu is left to the owner.
//
// The row selection is the set of files to convert, so the keyboard is
// careful with it: Tab leaves the table instead of walking its cells, the
// arrow keys move the current row without re-selecting (Shift extends as
// usual), and Space toggles the current row's mark alone.
class ResultsTable : public QTableView {
    Q_OBJECT
public:
    explicit ResultsTable(QWidget* parent = nullptr);

signals:
    void checkMarkClicked(int row);
    void rowDoubleClicked(int row);
    // The rows the menu is for (empty outside any row) at a global position.
    void contextMenuRequested(const QList<int>& rows, const QPoint& globalPosition);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // A left click on a row's check mark toggles that row; true if it was one.
    bool takeCheckMarkClick(QMouseEvent* event);
    QList<int> rowsForMenuAt(const QPoint& position) const;
};

}  // namespace twinfold
