#include "updates/VersionComparison.h"

#include <algorithm>
#include <charconv>

namespace twinfold {

namespace {

constexpr std::size_t maximumComponents = 4;

bool isDigits(std::string_view piece) {
    return !piece.empty() && std::all_of(piece.begin(), piece.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Digits only: from_chars would accept a leading "-", and a value that does
// not fit must refuse the whole version rather than be skipped.
std::optional<std::uint32_t> parseComponent(std::string_view piece) {
    if (!isDigits(piece)) return std::nullopt;
    std::uint32_t value = 0;
    const char* end = piece.data() + piece.size();
    const auto [stop, error] = std::from_chars(piece.data(), end, value);
    if (error != std::errc() || stop != end) return std::nullopt;
    return value;
}

}  // namespace

std::optional<std::vector<std::uint32_t>> parseVersion(std::string_view text) {
    if (text.empty() || text.size() > maximumVersionLength) return std::nullopt;
    std::vector<std::uint32_t> components;
    for (;;) {
        const auto dot = text.find('.');
        const auto value = parseComponent(text.substr(0, dot));
        if (!value || components.size() == maximumComponents) return std::nullopt;
        components.push_back(*value);
        if (dot == std::string_view::npos) return components;
        text.remove_prefix(dot + 1);
    }
}

bool isNewerVersion(std::string_view candidate, std::string_view current) {
    const auto a = parseVersion(candidate);
    const auto b = parseVersion(current);
    if (!a || !b) return false;
    const std::size_t count = std::max(a->size(), b->size());
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t left = i < a->size() ? (*a)[i] : 0;
        const std::uint32_t right = i < b->size() ? (*b)[i] : 0;
        if (left != right) return left > right;
    }
    return false;
}

}  // namespace twinfold
