#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace twinfold {

// A random (version 4) UUID; every record that carries one gets a fresh one
// when it is built, so two analyses of the same file are distinct records.
struct Uuid {
    std::uint64_t high = 0;
    std::uint64_t low = 0;

    static Uuid random();
    std::string toString() const;  // 8-4-4-4-12 lower-case hex

    auto operator<=>(const Uuid&) const = default;
};

}  // namespace twinfold

template <>
struct std::hash<twinfold::Uuid> {
    std::size_t operator()(const twinfold::Uuid& u) const noexcept {
        return std::hash<std::uint64_t>{}(u.high ^ (u.low * 0x9E3779B97F4A7C15ull));
    }
};
