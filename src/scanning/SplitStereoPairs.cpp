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
std::optional<Candidate> splitCandidate(const std::filesystem::path& url) {
    const std::string base = url.stem().string();
    if (base.size() < 3 || base[base.size() - 2] != '.') return std::nullopt;
    const char marker = base.back();
    Side side;
    if (marker == 'L' || marker == 'l') side = Side::left;
    else if (marker == 'R' || marker == 'r') side = Side::right;
    else return std::nullopt;

    std::string extension = url.extension().string();
    if (!extension.empty()) extension.erase(0, 1);
    std::string key = url.parent_path().lexically_normal().string();
    key += '/';
    key += lowercased(std::string_view(base).substr(0, base.size() - 2));
    key += '.';
    key += lowercased(extension);
    return Candidate{side, std::move(key)};
}

// One side's candidates in the order their keys first appeared; a later
// candidate with the same key takes the earlier one's place.
class SideTable {
public:
    void put(std::string key, std::filesystem::path url) {
        const auto [it, inserted] = index_.try_emplace(std::move(key), entries_.size());
        if (inserted) entries_.push_back({it->first, std::move(url)});
        else entries_[it->second].url = std::move(url);
    }
    const std::filesystem::path* find(const std::string& key) const {
        const auto it = index_.find(key);
        return it == index_.end() ? nullptr : &entries_[it->second].url;
    }
    struct Entry {
        std::string key;
        std::filesystem::path url;
    };
    const std::vector<Entry>& entries() const { return entries_; }

private:
    std::unordered_map<std::string, std::size_t> index_;
    std::vector<Entry> entries_;
};

}  // namespace

SplitStereoPairResult findSplitStereoPairs(const std::vector<std::filesystem::path>& urls) {
    SplitStereoPairResult result;
    SideTable lefts;
    SideTable rights;
    for (const auto& url : urls) {
        auto candidate = splitCandidate(url);
        if (!candidate) result.unpaired.push_back(url);
        else (candidate->side == Side::left ? lefts : rights).put(std::move(candidate->key), url);
    }
    for (const auto& left : lefts.entries()) {
        if (const auto* right = rights.find(left.key)) {
            result.pairs.push_back({left.url, *right});
        } else {
            result.unpaired.push_back(left.url);
        }
    }
    for (const auto& right : rights.entries()) {
        if (!lefts.find(right.key)) result.unpaired.push_back(right.url);
    }
    return result;
}

}  // namespace twinfold
