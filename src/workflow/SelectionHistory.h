#pragma once

#include <QObject>

#include "records/Uuid.h"

#include <cstddef>
#include <set>
#include <vector>

namespace twinfold {

class ScanViewModel;

// The ticked sets the user had before a click or key took ticks away, so
// that a slip (a plain click that replaced a long selection, "Deselect
// All") can be taken back, several steps deep. Adding ticks is not a loss
// and leaves no step. A new list of results starts the history afresh:
// the old identifiers mean nothing in it.
class SelectionHistory : public QObject {
    Q_OBJECT
public:
    static constexpr std::size_t maximumSteps = 50;

    explicit SelectionHistory(ScanViewModel& viewModel, QObject* parent = nullptr);

    bool canUndo() const { return !steps_.empty(); }
    // Restores the set before the last loss (only results still listed).
    void undo();

signals:
    void canUndoChanged(bool canUndo);

private:
    void selectionChanged();
    void clear();

    ScanViewModel& viewModel_;
    std::set<Uuid> current_;
    std::vector<std::set<Uuid>> steps_;
    bool restoring_ = false;
};

}  // namespace twinfold
