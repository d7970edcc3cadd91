#pragma once

#include <string>
#include <string_view>

namespace twinfold {

// Lower-cases UTF-8 text character by character with the Unicode simple case
// mapping, so "Über" and "über" compare equal. Bytes that are not valid UTF-8
// are kept as they are.
std::string lowercased(std::string_view utf8);

}  // namespace twinfold
