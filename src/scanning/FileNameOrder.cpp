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
    // running it for every one of the n log n comparisons.
    const std::locale locale = userLocale();
    const auto& collate = std::use_facet<std::collate<char>>(locale);
    struct Keyed {
        std::string key;
        std::filesystem::path path;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(paths.size());
    for (auto& path : paths) {
        const std::string_view name = fileNameOf(path);
        keyed.push_back({collate.transform(name.data(), name.data() + name.size()), std::move(path)});
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const Keyed& a, const Keyed& b) { return a.key < b.key; });
    for (std::size_t i = 0; i < keyed.size(); ++i) paths[i] = std::move(keyed[i].path);
}

}  // namespace twinfold
