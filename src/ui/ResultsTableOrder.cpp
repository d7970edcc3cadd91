#include "ui/ResultsTableOrder.h"

#include "audio_io/AudioFormat.h"
#include "ui/ResultsTableModel.h"

#include <QCollator>

#include <algorithm>
#include <numeric>

namespace twinfold {

namespace {

// Status sorts by kind: what can be converted first, then what stays as it
// is, the files that could not be read last. Finer differences within a kind
// (a pan's percentage, a multichannel summary) are left to the path.
int statusRank(const ScanResult& result) {
    if (result.unreadableReason) return 9;
    if (result.multichannelAnalysis) return result.isConvertible() ? 5 : 8;
    if (result.fileInfo.channelCount < 2) return 7;
    switch (result.silentChannel) {
    case SilentChannelStatus::left: return 3;
    case SilentChannelStatus::right: return 4;
    case SilentChannelStatus::both: return 8;
    case SilentChannelStatus::none: break;
    }
    if (result.isPhaseInverted) return 1;
    if (result.isDualMono) return 0;
    if (result.isPannedMono) return 2;
    return 6;
}

// Names as people read them: by the user's language, "Take 9" before "Take 10".
QCollator nameCollator() {
    QCollator collator;
    collator.setNumericMode(true);
    return collator;
}

// The Folder column sorts by the folder's whole path: below one scanned
// folder that is the order of the paths shown.
QCollatorSortKey textKey(const QCollator& collator, const ScanResult& result, int column) {
    if (column == ResultsTableModel::folderColumn)
        return collator.sortKey(QString::fromStdString(result.fileInfo.path.parent_path().string()));
    return collator.sortKey(QString::fromStdString(result.fileInfo.filename));
}

}  // namespace

bool ResultsTableOrder::textColumn() const {
    return sort_ &&
           (sort_->column == ResultsTableModel::filenameColumn || sort_->column == ResultsTableModel::folderColumn);
}

double ResultsTableOrder::numberKey(const ScanResult& result, const std::set<Uuid>& ticked) const {
    const AudioFileInfo& info = result.fileInfo;
    switch (sort_ ? sort_->column : -1) {
    case ResultsTableModel::checkColumn: return ticked.count(result.id) ? 0 : 1;  // ticked first
    case ResultsTableModel::channelsColumn: return info.channelCount;
    case ResultsTableModel::bitDepthColumn:  // "Compressed" before any bit depth
        return info.sourceFormatID == kFormatLinearPCM ? info.bitDepth : 0;
    case ResultsTableModel::sampleRateColumn: return info.sampleRate;
    case ResultsTableModel::durationColumn: return info.duration;
    case ResultsTableModel::sizeColumn: return double(info.fileSize);
    case ResultsTableModel::statusColumn: return statusRank(result);
    default: return 0;
    }
}

// The name keys outlive a change of direction or a sort by another column;
// the numbers are cheap and may have changed (a tick), so they are made anew.
void ResultsTableOrder::makeKeys(const std::vector<ScanResult>& results, const std::set<Uuid>& ticked) {
    numberKeys_.clear();
    if (textColumn()) {
        if (textKeys_.size() == results.size() && textKeysColumn_ == sort_->column) return;
        textKeysColumn_ = sort_->column;
        textKeys_.clear();
        textKeys_.reserve(results.size());
        const QCollator collator = nameCollator();
        for (const ScanResult& result : results) textKeys_.push_back(textKey(collator, result, sort_->column));
        return;
    }
    numberKeys_.reserve(results.size());
    for (const ScanResult& result : results) numberKeys_.push_back(numberKey(result, ticked));
}

// Descending is ascending read backwards, ties included, so every order of
// the same results is the same each time.
bool ResultsTableOrder::before(const std::vector<ScanResult>& results, std::size_t a, std::size_t b) const {
    if (!sort_->ascending) std::swap(a, b);
    if (textColumn()) {
        if (const int order = textKeys_[a].compare(textKeys_[b])) return order < 0;
    } else if (numberKeys_[a] != numberKeys_[b]) {
        return numberKeys_[a] < numberKeys_[b];
    }
    if (const int order = results[a].fileInfo.path.native().compare(results[b].fileInfo.path.native()))
        return order < 0;
    return a < b;
}

void ResultsTableOrder::sortRows(const std::vector<ScanResult>& results) {
    std::sort(rows_.begin(), rows_.end(), [&](std::size_t a, std::size_t b) { return before(results, a, b); });
}

void ResultsTableOrder::reset(const std::vector<ScanResult>& results, const std::set<Uuid>& ticked) {
    textKeys_.clear();
    numberKeys_.clear();
    setSort(sort_, results, ticked);
}

void ResultsTableOrder::setSort(std::optional<Sort> sort, const std::vector<ScanResult>& results,
                                const std::set<Uuid>& ticked) {
    // A second click on a name column only turns the order round: the rows
    // are already in the other direction's order, and descending is that
    // order read backwards, ties included.
    const bool turned = sort && sort_ && sort->column == sort_->column && sort->ascending != sort_->ascending &&
                        rows_.size() == results.size() && textKeys_.size() == results.size() &&
                        textKeysColumn_ == sort->column;
    sort_ = sort;
    if (rows_.size() != results.size() || !sort_) {
        rows_.resize(results.size());
        std::iota(rows_.begin(), rows_.end(), std::size_t(0));
    }
    if (!sort_) return;
    makeKeys(results, ticked);
    if (turned && textColumn()) return std::reverse(rows_.begin(), rows_.end());
    sortRows(results);
}

std::vector<std::size_t> ResultsTableOrder::insert(const std::vector<ScanResult>& results,
                                                   const std::vector<std::size_t>& positions,
                                                   const std::set<Uuid>& ticked) {
    // Where each result already listed is now.
    std::vector<bool> added(results.size(), false);
    for (std::size_t position : positions) added[position] = true;
    std::vector<std::size_t> movedTo;
    movedTo.reserve(results.size() - positions.size());
    for (std::size_t i = 0; i < results.size(); ++i) {
        if (!added[i]) movedTo.push_back(i);
    }
    if (!sort_) {
        rows_.resize(results.size());
        std::iota(rows_.begin(), rows_.end(), std::size_t(0));
        return positions;
    }
    for (std::size_t& row : rows_) row = movedTo[row];
    insertKeys(results, added, ticked);

    std::vector<std::size_t> incoming = positions;
    const auto order = [&](std::size_t a, std::size_t b) { return before(results, a, b); };
    std::sort(incoming.begin(), incoming.end(), order);
    std::vector<std::size_t> merged;
    merged.reserve(results.size());
    std::vector<std::size_t> rows;
    rows.reserve(incoming.size());
    auto old = rows_.begin();
    for (std::size_t index : incoming) {
        while (old != rows_.end() && order(*old, index)) merged.push_back(*old++);
        rows.push_back(merged.size());
        merged.push_back(index);
    }
    merged.insert(merged.end(), old, rows_.end());
    rows_ = std::move(merged);
    return rows;
}

void ResultsTableOrder::insertKeys(const std::vector<ScanResult>& results, const std::vector<bool>& added,
                                   const std::set<Uuid>& ticked) {
    if (textColumn()) {
        const QCollator collator = nameCollator();
        std::vector<QCollatorSortKey> keys;
        keys.reserve(results.size());
        std::size_t old = 0;
        for (std::size_t i = 0; i < results.size(); ++i)
            keys.push_back(added[i] ? textKey(collator, results[i], sort_->column) : std::move(textKeys_[old++]));
        textKeys_ = std::move(keys);
        return;
    }
    std::vector<double> keys;
    keys.reserve(results.size());
    std::size_t old = 0;
    for (std::size_t i = 0; i < results.size(); ++i)
        keys.push_back(added[i] ? numberKey(results[i], ticked) : numberKeys_[old++]);
    numberKeys_ = std::move(keys);
}

}  // namespace twinfold
