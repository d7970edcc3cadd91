#pragma once

#include "records/ScanResult.h"

#include <QCollatorSortKey>

#include <cstddef>
#include <optional>
#include <set>
#include <vector>

namespace twinfold {

// The results table's own row order: which of the view model's results each
// row shows. Unsorted, the rows follow the view model's list; sorted, they
// follow one column's keys, ties broken by full path, so the same results
// always come out in the same order. The keys of the text column are kept
// between sorts (a collation key is dear to make, cheap to compare).
class ResultsTableOrder {
public:
    struct Sort {
        int column = 0;
        bool ascending = true;
    };

    const std::optional<Sort>& sort() const { return sort_; }
    std::size_t rowCount() const { return rows_.size(); }
    std::size_t resultIndex(std::size_t row) const { return rows_[row]; }

    // A whole new list: rows in its order, or sorted when a sort is set.
    void reset(const std::vector<ScanResult>& results, const std::set<Uuid>& ticked);
    // Sorts the rows by `sort`, or puts them back in the list's order for none.
    void setSort(std::optional<Sort> sort, const std::vector<ScanResult>& results, const std::set<Uuid>& ticked);
    // Results were put into the list at `positions` (ascending, in the new
    // list); returns the rows they take, ascending, each in the final order.
    std::vector<std::size_t> insert(const std::vector<ScanResult>& results, const std::vector<std::size_t>& positions,
                                    const std::set<Uuid>& ticked);

private:
    double numberKey(const ScanResult& result, const std::set<Uuid>& ticked) const;
    void makeKeys(const std::vector<ScanResult>& results, const std::set<Uuid>& ticked);
    // Keys for the results marked `added`, between the kept ones.
    void insertKeys(const std::vector<ScanResult>& results, const std::vector<bool>& added,
                    const std::set<Uuid>& ticked);
    bool textColumn() const;
    void sortRows(const std::vector<ScanResult>& results);
    bool before(const std::vector<ScanResult>& results, std::size_t a, std::size_t b) const;

    std::optional<Sort> sort_;
    std::vector<std::size_t> rows_;  // row → index in the view model's list
    // Keys by index in the list, for the sorted column only.
    std::vector<QCollatorSortKey> textKeys_;
    int textKeysColumn_ = -1;
    std::vector<double> numberKeys_;
};

}  // namespace twinfold
