#pragma once

#include <cstdint>

namespace twinfold {

// Four-character code, first character in the most significant byte.
constexpr std::uint32_t fourCC(const char (&s)[5]) {
    return (std::uint32_t(std::uint8_t(s[0])) << 24) | (std::uint32_t(std::uint8_t(s[1])) << 16) |
           (std::uint32_t(std::uint8_t(s[2])) << 8) | std::uint32_t(std::uint8_t(s[3]));
}

// How a source stores its samples, as the records carry it.
constexpr std::uint32_t kFormatLinearPCM = fourCC("lpcm");
constexpr std::uint32_t kFormatMPEGLayer3 = fourCC(".mp3");
constexpr std::uint32_t kFormatMPEG4AAC = fourCC("aac ");
constexpr std::uint32_t kFormatAppleLossless = fourCC("alac");

}  // namespace twinfold
