#include "records/Uuid.h"

#include <cstdio>
#include <random>

namespace twinfold {

Uuid Uuid::random() {
    // One generator per thread, seeded from the system's entropy source:
    // records are built on several analysis threads at once.
    thread_local std::mt19937_64 engine{[] {
        std::random_device device;
        std::seed_seq seed{device(), device(), device(), device(), device(), device()};
        return std::mt19937_64(seed);
    }()};
    Uuid u{engine(), engine()};
    u.high = (u.high & ~0xF000ull) | 0x4000ull;                // version 4
    u.low = (u.low & ~(0xC000ull << 48)) | (0x8000ull << 48);  // RFC 4122 variant
    return u;
}

std::string Uuid::toString() const {
    char text[37];
    std::snprintf(text, sizeof text, "%08x-%04x-%04x-%04x-%012llx", unsigned(high >> 32),
                  unsigned((high >> 16) & 0xFFFF), unsigned(high & 0xFFFF), unsigned(low >> 48),
                  static_cast<unsigned long long>(low & 0xFFFFFFFFFFFFull));
    return text;
}

}  // namespace twinfold
