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

class DifferenceListener;
class MultichannelDetailPanel;
class ResultDetailsPanel;
class ResultsTable;
class ResultsTableModel;
class ScanViewModel;

// The content area while there are results: the table, bound both ways to
// the view model's selection, and under it the details of a single
// selected result (which the user may hide until another is selected).
//
// Every column sorts, ties by full path. The rows start in the order chosen
// last (kept in the settings; by name at first); the first click on a column
// sorts it ascending, each further click reverses. The order is the table's
// own (the view model's list is left alone); a list published later (a
// rescan) and results streaming in are put in the chosen order as well.
class ScanResultsView : public QWidget {
    Q_OBJECT
public:
    explicit ScanResultsView(ScanViewModel& viewModel, QWidget* parent = nullptr);

    ResultsTable* table() const { return table_; }
    ResultsTableModel* model() const { return model_; }
    ResultDetailsPanel* resultDetails() const { return detail_; }
    // The channel cells inside the details of a multichannel result.
    MultichannelDetailPanel* detailPanel() const;
    DifferenceListener* differenceListener() const { return listener_; }

    // The column and direction the rows are sorted by.
    std::optional<ResultsTableOrder::Sort> sortOrder() const;
    // Back to the stored order, as when the table is built anew.
    void resetSortOrder();
    // The header's menu: which optional columns show; owned by the caller.
    QMenu* makeHeaderMenu();
    void setFolderColumnShown(bool shown);

    void setFileRevealer(FileRevealer revealer) { revealer_ = std::move(revealer); }
    // The context menu for these results, or null for none; owned by the caller.
    QMenu* makeContextMenu(const std::vector<Uuid>& clicked);

signals:
    // The context menu's "Convert Selected".
    void convertRequested();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void configureColumns();
    void fitFilenameColumn();
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
    const ScanResult* resultWithID(const Uuid& id) const;

    ScanViewModel& viewModel_;
    ResultsTableModel* model_;
    ResultsTable* table_;
    ResultDetailsPanel* detail_;
    DifferenceListener* listener_;
    std::optional<Uuid> detailHiddenFor_;
    bool syncingSelection_ = false;
    FileRevealer revealer_ = revealInFileManager;
};

}  // namespace twinfold
