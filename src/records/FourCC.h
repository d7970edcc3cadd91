#pragma once

#include <cstdint>
#include <string>

namespace twinfold {

// A four-character code: a RIFF or AIFF chunk id, or how a source stores its
// samples. The characters are read big-endian, so the first one is the most
// significant byte and codes compare the way their texts do.
using FourCC = std::uint32_t;

constexpr FourCC fourCC(const char (&code)[5]) {
    return (FourCC(std::uint8_t(code[0])) << 24) | (FourCC(std::uint8_t(code[1])) << 16) |
           (FourCC(std::uint8_t(code[2])) << 8) | FourCC(std::uint8_t(code[3]));
}

// Four printable ASCII characters, as RIFF and AIFF require of a chunk id.
bool isPrintableFourCC(FourCC code);

// The four characters when all are printable; otherwise "0x" and eight hex
// digits, so that a damaged code still reads unambiguously in a message.
std::string fourCCText(FourCC code);

}  // namespace twinfold
