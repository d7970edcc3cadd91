#pragma once

// Qt comes first: moc cannot read <compare> (from Uuid.h) as the first
// standard header it meets.
#include <QWidget>

#include "records/Uuid.h"
#include "ui/DesktopServices.h"
#include "ui/ResultsTableOrder.h"

#include <optional>
#include <set>
#include <vector>

class QMenu;

namespace twinfold {

class MultichannelDetailPanel;
class ResultsTable;
class ResultsTableModel;
class ScanViewModel;

// The content area while there are results: the table, bound both ways to
// the view model's selection, and under it the channel details of a single
// selected multichannel result.
//
// Every column sorts. No order is applied until a header is first clicked
// (the workflow's order stands); the first click on a column sorts it
// ascending, each further click reverses. The order is the table's own (the
// view model's list is left alone); a list published later (a rescan) and
// results streaming in are put in the chosen order as well.
class ScanResultsView : public QWidget {
    Q_OBJECT
public:
    explicit ScanResultsView(ScanViewModel& viewModel, QWidget* parent = nullptr);

    ResultsTable* table() const { return table_; }
    ResultsTableModel* model() const { return model_; }
    MultichannelDetailPanel* detailPanel() const { return detail_; }

    // The column and direction the rows are sorted by; none before the first click.
    std::optional<ResultsTableOrder::Sort> sortOrder() const;
    // Forgets the chosen order, as when the table is built anew.
    void resetSortOrder();

    void setFileRevealer(FileRevealer revealer) { revealer_ = std::move(revealer); }
    // The context menu for these results, or null for none; owned by the caller.
    QMenu* makeContextMenu(const std::vector<Uuid>& clicked);

signals:
    // The context menu's "Convert Selected".
    void convertRequested();

private:
    void configureColumns();
    void fitStatusColumn(int first, int last);
    void headerClicked(int section);
    void showSortIndicator();
    std::set<Uuid> rowSelectionIDs() const;
    void pushRowSelection();
    void pullRowSelection();
    void updateDetailPanel();
    void openContextMenu(const QList<int>& rows, const QPoint& globalPosition);
    void reveal(const std::vector<Uuid>& ids, bool withPairedFiles);
    void showNothingAnswered();

    ScanViewModel& viewModel_;
    ResultsTableModel* model_;
    ResultsTable* table_;
    QWidget* detailDivider_;
    MultichannelDetailPanel* detail_;
    std::optional<Uuid> detailShownFor_;
    bool syncingSelection_ = false;
    FileRevealer revealer_ = revealInFileManager;
};

}  // namespace twinfold
