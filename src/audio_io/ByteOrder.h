#pragma once

#include <cstdint>

namespace twinfold {

// Fixed-width fields of file headers: RIFF and RF64 store them little-endian,
// AIFF big-endian.

inline std::uint16_t loadLE16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
inline std::uint16_t loadBE16(const std::uint8_t* p) { return std::uint16_t((p[0] << 8) | p[1]); }
inline std::uint32_t loadLE32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}
inline std::uint32_t loadBE32(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | std::uint32_t(p[3]);
}
inline std::uint64_t loadLE64(const std::uint8_t* p) {
    return std::uint64_t(loadLE32(p)) | (std::uint64_t(loadLE32(p + 4)) << 32);
}

// Writes the low `bytes` bytes of `value` to `p`.
inline void storeLE(std::uint8_t* p, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) p[i] = std::uint8_t(value >> (8 * i));
}
inline void storeBE(std::uint8_t* p, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) p[i] = std::uint8_t(value >> (8 * (bytes - 1 - i)));
}

}  // namespace twinfold
