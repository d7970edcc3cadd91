#pragma once

// The results of the scans and the user's selection among them, with the
// order the list is kept in and the figures derived from both. No Qt and no
// threads: the view model owns one and announces what each change did.

#include "records/ScanResult.h"
#include "records/Uuid.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <vector>

namespace twinfold {

class ResultList {
public:
    using Order = std::function<bool(const ScanResult&, const ScanResult&)>;

    // The sizes of the result kinds in one pass, without copying a result:
    // what a summary of 100,000 results needs at every update.
    struct Counts {
        std::size_t total = 0;
        std::size_t dualMono = 0;
        std::size_t pannedMono = 0;
        std::size_t phaseInverted = 0;
        std::size_t silentChannel = 0;   // left or right silent
        std::size_t noAudioContent = 0;  // both silent
        std::size_t stereo = 0;          // ordinary stereo files
        std::size_t multichannel = 0;
        std::size_t unreadable = 0;
        std::size_t convertible = 0;
        std::size_t selectedConvertible = 0;
        std::int64_t potentialSavings = 0;  // of every convertible result
    };

    const std::vector<ScanResult>& results() const { return results_; }
    const std::set<Uuid>& selection() const { return selection_; }

    // ---- derived (in list order) ----
    std::vector<ScanResult> convertibleAmong(const std::set<Uuid>& ids) const;
    std::vector<ScanResult> selectedConvertible() const { return convertibleAmong(selection_); }
    // The one selected result, when it is a multichannel file.
    std::optional<ScanResult> selectedMultichannel() const;
    std::int64_t totalPotentialSavings() const { return counts().potentialSavings; }
    Counts counts() const;

    // ---- changes: each says whether the list or the selection changed ----
    bool clearResults();
    bool setSelection(std::set<Uuid> ids);
    // Every result a scan ticks; backups and pans that would discard content are left to the user.
    bool selectAllConvertible();
    // Removes a selected result; adds one only if it is convertible.
    bool toggle(const Uuid& id);
    // Re-orders the list (stable) and keeps the order for results added later.
    bool sort(Order before);
    bool sortByFilename(bool ascending);
    void forgetOrder() { order_ = nullptr; }
    // Puts a batch at its places in the kept order (at the end without one);
    // returns the new indices, ascending. Listed results stay ahead of equal new ones.
    // The batch is left empty with its room, for the next batch to reuse.
    std::vector<std::size_t> insert(std::vector<ScanResult>& batch);
    // Room for `count` records in all, made once: growing by steps would
    // hold a large library's list twice while it moves.
    void reserve(std::size_t count) { results_.reserve(count); }

private:
    template <typename Before>
    bool reorder(const Before& before);

    std::vector<ScanResult> results_;
    std::set<Uuid> selection_;
    Order order_;
};

}  // namespace twinfold
