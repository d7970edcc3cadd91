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
        c.silentChannel += r.silentChannel == SilentChannelStatus::left || r.silentChannel == SilentChannelStatus::right;
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
    std::vector<ScanResult> sorted;
    sorted.reserve(order.size());
    for (std::size_t i : order) sorted.push_back(std::move(results_[i]));
    results_ = std::move(sorted);
    return true;
}

std::vector<std::size_t> ResultList::insert(std::vector<ScanResult> batch) {
    std::vector<std::size_t> positions;
    positions.reserve(batch.size());
    if (!order_) {
        for (ScanResult& result : batch) {
            positions.push_back(results_.size());
            results_.push_back(std::move(result));
        }
        return positions;
    }
    std::stable_sort(batch.begin(), batch.end(), order_);
    std::vector<ScanResult> merged;
    merged.reserve(results_.size() + batch.size());
    auto old = results_.begin();
    for (ScanResult& result : batch) {
        while (old != results_.end() && !order_(result, *old)) merged.push_back(std::move(*old++));
        positions.push_back(merged.size());
        merged.push_back(std::move(result));
    }
    std::move(old, results_.end(), std::back_inserter(merged));
    results_ = std::move(merged);
    return positions;
}

}  // namespace twinfold
