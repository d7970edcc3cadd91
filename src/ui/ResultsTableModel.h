#pragma once

#include <QAbstractTableModel>

#include "ui/ResultsTableOrder.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace twinfold {

class ScanViewModel;
struct ScanResult;

// The scan results as table rows, in the view model's order or sorted by
// one column (the table's own order; the view model's list is left as it
// is); it follows scanResults (rows: reset when the list changes, rows
// inserted at their sorted place as a scan streams results in) and
// selectedResultIDs (the check marks).
class ResultsTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        checkColumn,
        filenameColumn,
        folderColumn,
        channelsColumn,
        bitDepthColumn,
        sampleRateColumn,
        durationColumn,
        sizeColumn,
        statusColumn,
        columnCount_
    };
    enum Role {
        CheckSymbolRole = Qt::UserRole + 1,  // symbol name of the check mark
        CheckOpacityRole,                    // its opacity
        SymbolRole,                          // symbol name of the kind icon (Filename)
        TintRole,                            // Tint of that symbol or mark, as int
        StatusTextRole,                      // badge text (Status)
        TagRole,                             // the tag after the file name ("Backup"), or empty (Filename)
    };

    explicit ResultsTableModel(ScanViewModel& viewModel, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Re-orders the rows in place (the views keep their selection and
    // current row on the same results); sort() with no column (-1) goes
    // back to the view model's order.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    void clearSort() { sort(-1); }
    // The column and direction the rows are sorted by; none in the view model's order.
    std::optional<ResultsTableOrder::Sort> sortOrder() const { return order_.sort(); }

    const ScanResult& resultAt(int row) const;

private:
    QVariant displayText(const ScanResult& result, int column) const;
    QVariant checkData(const ScanResult& result, int role) const;
    QVariant filenameData(const ScanResult& result, int role) const;
    QVariant statusData(const ScanResult& result, int role) const;
    QString folderText(const ScanResult& result) const;
    void selectionChanged();
    void resultsInserted(const std::vector<std::size_t>& positions);

    ScanViewModel& viewModel_;
    ResultsTableOrder order_;
    // The rows the views have been told of; the view model's list is ahead
    // of it while an insertion is being announced.
    int rows_ = 0;
};

}  // namespace twinfold
