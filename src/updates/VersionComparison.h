#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace twinfold {

// The longest text read as a version number.
inline constexpr std::size_t maximumVersionLength = 32;

// The components of a version number: 1 to 4 decimal numbers separated by
// single dots, each made of digits only and at most 2^32 - 1, the whole at
// most maximumVersionLength characters. Anything else (signs, spaces, empty
// or extra pieces, letters, numbers too large) is not a version number.
std::optional<std::vector<std::uint32_t>> parseVersion(std::string_view text);

// True when both are version numbers and `candidate` is strictly newer. The
// components compare as numbers with missing ones counted as zero:
// 1.2 == 1.2.0, 1.10 > 1.9.
bool isNewerVersion(std::string_view candidate, std::string_view current);

}  // namespace twinfold
