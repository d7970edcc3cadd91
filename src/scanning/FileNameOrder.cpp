#include "scanning/FileNameOrder.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>

namespace twinfold {

namespace {

std::locale userLocale() {
    try {
        return std::locale("");
    } catch (const std::runtime_error&) {
        return std::locale::classic();
    }
}

std::string_view fileNameOf(const std::filesystem::path& path) {
    const std::string& text = path.native();
    const auto slash = text.find_last_of('/');
    return slash == std::string::npos ? std::string_view(text) : std::string_view(text).substr(slash + 1);
}

// The first eight bytes as an unsigned number, so that numbers compare as
// the bytes would; shorter keys are padded with zero bytes, and the full
// keys decide whenever two prefixes tie.
std::uint64_t bigEndianPrefix(const std::string& key) {
    std::uint64_t prefix = 0;
    for (std::size_t i = 0; i < 8; ++i)
        prefix = (prefix << 8) | (i < key.size() ? static_cast<unsigned char>(key[i]) : 0u);
    return prefix;
}

}  // namespace

FileNameCollator::FileNameCollator() : locale_(userLocale()), collate_(&std::use_facet<std::collate<char>>(locale_)) {}

std::string FileNameCollator::key(std::string_view name) const {
    return collate_->transform(name.data(), name.data() + name.size());
}

// Keys are built once per name and compared as bytes, which orders exactly
// as the collating comparison without running it n log n times. The packed
// prefix settles most comparisons without touching the strings, and the
// position breaks ties, which makes the sort stable.
std::vector<std::size_t> ascendingOrder(const std::vector<std::string>& keys) {
    struct Slot {
        std::uint64_t prefix;
        std::size_t index;
    };
    std::vector<Slot> slots;
    slots.reserve(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) slots.push_back({bigEndianPrefix(keys[i]), i});
    std::sort(slots.begin(), slots.end(), [&keys](const Slot& a, const Slot& b) {
        if (a.prefix != b.prefix) return a.prefix < b.prefix;
        const int byKey = keys[a.index].compare(keys[b.index]);
        return byKey != 0 ? byKey < 0 : a.index < b.index;
    });
    std::vector<std::size_t> order;
    order.reserve(slots.size());
    for (const Slot& slot : slots) order.push_back(slot.index);
    return order;
}

void sortByFileName(std::vector<std::filesystem::path>& paths) {
    const FileNameCollator collator;
    std::vector<std::string> keys;
    keys.reserve(paths.size());
    for (const auto& path : paths) keys.push_back(collator.key(fileNameOf(path)));
    std::vector<std::filesystem::path> sorted;
    sorted.reserve(paths.size());
    for (const std::size_t i : ascendingOrder(keys)) sorted.push_back(std::move(paths[i]));
    paths = std::move(sorted);
}

}  // namespace twinfold
