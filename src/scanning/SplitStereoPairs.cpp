#include "scanning/SplitStereoPairs.h"

#include "scanning/TextCase.h"

#include <optional>
#include <string>
#include <unordered_map>

namespace twinfold {

namespace {

enum class Side { left, right };

struct Candidate {
    Side side;
    std::string key;  // folder, base without the marker, extension
};

// "<base>.L.<ext>" or "<base>.R.<ext>" with a non-empty base; the marker's
// case does not matter.
std::optional<Candidate> splitCandidate(const std::filesystem::path& path) {
    // Most names carry no marker: tell them from the text alone, without
    // taking the path apart (which costs more than the rest of the scan
    // of a cached library).
    const std::string_view native = path.native();
    const std::string_view name = native.substr(native.find_last_of('/') + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos || dot < 3 || name[dot - 2] != '.') return std::nullopt;
    const std::string base = path.stem().string();
    if (base.size() < 3 || base[base.size() - 2] != '.') return std::nullopt;
    const char marker = base.back();
    Side side;
    if (marker == 'L' || marker == 'l')
        side = Side::left;
    else if (marker == 'R' || marker == 'r')
        side = Side::right;
    else
        return std::nullopt;

    std::string extension = path.extension().string();
    if (!extension.empty()) extension.erase(0, 1);
    std::string key = path.parent_path().lexically_normal().string();
    key += '/';
    key += lowercased(std::string_view(base).substr(0, base.size() - 2));
    key += '.';
    key += lowercased(extension);
    return Candidate{side, std::move(key)};
}

// One side's candidates in the order their keys first appeared. Names that
// differ only in case (Drums.L.wav, drums.l.wav) share a key; such a key
// pairs nothing, so that no file is hidden behind another.
class SideTable {
public:
    void put(std::string key, std::filesystem::path path) {
        const auto [it, inserted] = index_.try_emplace(std::move(key), entries_.size());
        if (inserted) entries_.push_back({it->first, {}});
        entries_[it->second].paths.push_back(std::move(path));
    }
    // The one candidate of `key`; null when there is none or more than one.
    const std::filesystem::path* single(const std::string& key) const {
        const auto it = index_.find(key);
        if (it == index_.end() || entries_[it->second].paths.size() != 1) return nullptr;
        return &entries_[it->second].paths.front();
    }
    bool has(const std::string& key) const { return index_.count(key) > 0; }
    struct Entry {
        std::string key;
        std::vector<std::filesystem::path> paths;
    };
    const std::vector<Entry>& entries() const { return entries_; }

private:
    std::unordered_map<std::string, std::size_t> index_;
    std::vector<Entry> entries_;
};

}  // namespace

SplitStereoPairResult findSplitStereoPairs(std::vector<std::filesystem::path> paths) {
    SplitStereoPairResult result;
    SideTable lefts;
    SideTable rights;
    for (auto& path : paths) {
        auto candidate = splitCandidate(path);
        if (!candidate)
            result.unpaired.push_back(std::move(path));
        else
            (candidate->side == Side::left ? lefts : rights).put(std::move(candidate->key), std::move(path));
    }
    for (const auto& left : lefts.entries()) {
        const auto* right = rights.single(left.key);
        if (left.paths.size() == 1 && right) {
            result.pairs.push_back({left.paths.front(), *right});
        } else {
            result.unpaired.insert(result.unpaired.end(), left.paths.begin(), left.paths.end());
        }
    }
    for (const auto& right : rights.entries()) {
        const auto* left = lefts.single(right.key);
        if (!(left && right.paths.size() == 1)) {
            result.unpaired.insert(result.unpaired.end(), right.paths.begin(), right.paths.end());
        }
    }
    return result;
}

}  // namespace twinfold
