#include "workflow/SelectionHistory.h"

#include "workflow/ScanViewModel.h"

#include <algorithm>

namespace twinfold {

SelectionHistory::SelectionHistory(ScanViewModel& viewModel, QObject* parent)
    : QObject(parent), viewModel_(viewModel), current_(viewModel.selectedResultIDs()) {
    connect(&viewModel_, &ScanViewModel::selectedResultIDsChanged, this, &SelectionHistory::selectionChanged);
    connect(&viewModel_, &ScanViewModel::scanResultsChanged, this, &SelectionHistory::clear);
}

void SelectionHistory::selectionChanged() {
    std::set<Uuid> now = viewModel_.selectedResultIDs();
    const bool lost = std::any_of(current_.begin(), current_.end(), [&](const Uuid& id) { return !now.count(id); });
    if (lost && !restoring_ && !viewModel_.scanResults().empty()) {
        const bool could = canUndo();
        steps_.push_back(std::move(current_));
        if (steps_.size() > maximumSteps) steps_.erase(steps_.begin());
        if (!could) emit canUndoChanged(true);
    }
    current_ = std::move(now);
}

void SelectionHistory::clear() {
    current_ = viewModel_.selectedResultIDs();
    if (steps_.empty()) return;
    steps_.clear();
    emit canUndoChanged(false);
}

void SelectionHistory::undo() {
    if (steps_.empty()) return;
    std::set<Uuid> listed;
    for (const ScanResult& result : viewModel_.scanResults()) listed.insert(result.id);
    std::set<Uuid> previous;
    for (const Uuid& id : steps_.back())
        if (listed.count(id)) previous.insert(id);
    steps_.pop_back();
    restoring_ = true;
    viewModel_.setSelectedResultIDs(std::move(previous));
    restoring_ = false;
    if (steps_.empty()) emit canUndoChanged(false);
}

}  // namespace twinfold
