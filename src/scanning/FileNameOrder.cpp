#include "scanning/FileNameOrder.h"

#include <algorithm>
#include <locale>
#include <stdexcept>
#include <string>
#include <string_view>

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
    return slash == std::string::npos ? std::string_view(text)
                                      : std::string_view(text).substr(slash + 1);
}

}  // namespace

void sortByFileName(std::vector<std::filesystem::path>& paths) {
    // Collation keys are built once per name and then compared as plain
    // bytes, which orders exactly as the collating comparison but avoids
    // running it for every one of the n log n comparisons. Sorting indices
    // keeps the moves cheap.
    const std::locale locale = userLocale();
    const auto& collate = std::use_facet<std::collate<char>>(locale);
    std::vector<std::string> keys;
    keys.reserve(paths.size());
    for (const auto& path : paths) {
        const std::string_view name = fileNameOf(path);
        keys.push_back(collate.transform(name.data(), name.data() + name.size()));
    }
    std::vector<std::size_t> order(paths.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&keys](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
    std::vector<std::filesystem::path> sorted;
    sorted.reserve(paths.size());
    for (const std::size_t i : order) sorted.push_back(std::move(paths[i]));
    paths = std::move(sorted);
}

}  // namespace twinfold
