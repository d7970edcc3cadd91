#include "updates/VersionComparison.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>
#include <vector>

namespace twinfold {

namespace {

std::optional<std::int64_t> parseComponent(std::string_view piece)
{
    // from_chars takes a leading "-" but not "+"; strip one "+" ourselves and
    // insist a digit follows, so "+-1" is not read as -1.
    if (piece.starts_with('+')) {
        piece.remove_prefix(1);
        if (piece.empty() || piece.front() == '-')
            return std::nullopt;
    }
    std::int64_t value = 0;
    const char* end = piece.data() + piece.size();
    const auto [stop, error] = std::from_chars(piece.data(), end, value);
    if (error != std::errc() || stop != end)
        return std::nullopt;  // not a number, trailing text, or out of range
    return value;
}

std::vector<std::int64_t> versionComponents(std::string_view version)
{
    std::vector<std::int64_t> components;
    while (!version.empty()) {
        const auto dot = version.find('.');
        const std::string_view piece = version.substr(0, dot);
        if (const auto value = parseComponent(piece))  // an empty piece is no number either
            components.push_back(*value);
        version = dot == std::string_view::npos ? std::string_view() : version.substr(dot + 1);
    }
    return components;
}

}  // namespace

bool isNewerVersion(std::string_view candidate, std::string_view current)
{
    const auto a = versionComponents(candidate);
    const auto b = versionComponents(current);
    const std::size_t count = std::max(a.size(), b.size());
    for (std::size_t i = 0; i < count; ++i) {
        const std::int64_t left = i < a.size() ? a[i] : 0;
        const std::int64_t right = i < b.size() ? b[i] : 0;
        if (left != right)
            return left > right;
    }
    return false;
}

}  // namespace twinfold
