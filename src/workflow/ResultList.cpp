#include "workflow/ResultList.h"

#include <algorithm>
#include <iterator>

namespace twinfold {

namespace {

bool isOrdinaryStereo(const ScanResult& r) {
    return r.fileInfo.channelCount == 2 && !r.isDualMono && !r.isPannedMono && !r.isPhaseInverted &&
           r.silentChannel == SilentChannelStatus::none && !r.multichannelAnalysis;
}

}  // namespace

std::vector<ScanResult> ResultList::convertibleAmong(const std::set<Uuid>& ids) const {
    std::vector<ScanResult> out;
    std::copy_if(results_.begin(), results_.end(), std::back_inserter(out),
                 [&](const ScanResult& r) { return ids.count(r.id) && r.isConvertible(); });
    return out;
}

std::optional<ScanResult> ResultList::selectedMultichannel() const {
    if (selection_.size() != 1) return std::nullopt;
    const Uuid id = *selection_.begin();
    for (const ScanResult& r : results_) {
        if (r.id == id && r.multichannelAnalysis) return r;
    }
    return std::nullopt;
}

ResultList::Counts ResultList::counts() const {
    Counts c;
    c.total = results_.size();
    for (const ScanResult& r : results_) {
        c.dualMono += r.isDualMono;
        c.pannedMono += r.isPannedMono;
        c.phaseInverted += r.isPhaseInverted;
        c.silentChannel +=
            r.silentChannel == SilentChannelStatus::left || r.silentChannel == SilentChannelStatus::right;
        c.noAudioContent += r.silentChannel == SilentChannelStatus::both;
        c.stereo += isOrdinaryStereo(r);
        c.multichannel += r.multichannelAnalysis.has_value();
        c.unreadable += r.unreadableReason.has_value();
        if (!r.isConvertible()) continue;
        ++c.convertible;
        c.potentialSavings += r.potentialSavings;
        c.selectedConvertible += selection_.count(r.id);
    }
    return c;
}

bool ResultList::clearResults() {
    if (results_.empty()) return false;
    results_.clear();
    return true;
}

bool ResultList::setSelection(std::set<Uuid> ids) {
    if (ids == selection_) return false;
    selection_ = std::move(ids);
    return true;
}

bool ResultList::selectAllConvertible() {
    std::set<Uuid> ids;
    for (const ScanResult& r : results_) {
        if (r.isSelectedAfterScan()) ids.insert(r.id);
    }
    return setSelection(std::move(ids));
}

bool ResultList::toggle(const Uuid& id) {
    std::set<Uuid> ids = selection_;
    if (ids.erase(id) == 0) {
        const auto it = std::find_if(results_.begin(), results_.end(), [&](const ScanResult& r) { return r.id == id; });
        if (it == results_.end() || !it->isConvertible()) return false;
        ids.insert(id);
    }
    return setSelection(std::move(ids));
}

bool ResultList::sort(Order before) {
    order_ = std::move(before);
    return reorder(order_);
}

bool ResultList::sortByFilename(bool ascending) {
    const auto before = [ascending](const ScanResult& a, const ScanResult& b) {
        return ascending ? a.fileInfo.filename < b.fileInfo.filename : b.fileInfo.filename < a.fileInfo.filename;
    };
    order_ = before;
    return reorder(before);  // called directly: a sort of 100,000 rows feels every indirection
}

// Sorting positions, not records, keeps a large list cheap to re-order.
template <typename Before>
bool ResultList::reorder(const Before& before) {
    std::vector<std::size_t> order(results_.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return before(results_[a], results_[b]); });
    bool unchanged = true;
    for (std::size_t i = 0; i < order.size() && unchanged; ++i) unchanged = order[i] == i;
    if (unchanged) return false;
    // Applied in place, cycle by cycle: a second list of 100,000 records
    // would double the memory a large library needs.
    for (std::size_t start = 0; start < order.size(); ++start) {
        if (order[start] == start) continue;
        ScanResult held = std::move(results_[start]);
        std::size_t at = start;
        while (order[at] != start) {
            const std::size_t from = order[at];
            results_[at] = std::move(results_[from]);
            order[at] = at;
            at = from;
        }
        results_[at] = std::move(held);
        order[at] = at;
    }
    return true;
}

std::vector<std::size_t> ResultList::insert(std::vector<ScanResult>& batch) {
    std::vector<std::size_t> positions;
    positions.reserve(batch.size());
    if (order_) std::stable_sort(batch.begin(), batch.end(), order_);
    const std::size_t oldSize = results_.size();
    // Where each lands: after every kept record it does not sort before.
    for (std::size_t i = 0; i < batch.size(); ++i) {
        const auto end = results_.begin() + std::ptrdiff_t(oldSize);
        const std::size_t before =
            order_ ? std::size_t(std::upper_bound(results_.begin(), end, batch[i], order_) - results_.begin())
                   : oldSize;
        positions.push_back(before + i);
    }
    // Grown by half rather than doubled, and merged in place: the list of a
    // large library is its largest allocation and must not be held twice.
    if (results_.capacity() < oldSize + batch.size())
        results_.reserve(std::max(oldSize + batch.size(), oldSize + oldSize / 2));
    std::move(batch.begin(), batch.end(), std::back_inserter(results_));
    batch.clear();
    if (order_)
        std::inplace_merge(results_.begin(), results_.begin() + std::ptrdiff_t(oldSize), results_.end(), order_);
    return positions;
}

}  // namespace twinfold
