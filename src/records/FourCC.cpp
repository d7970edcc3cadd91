#include "records/FourCC.h"

#include <cstdio>

namespace twinfold {

bool isPrintableFourCC(FourCC code) {
    for (int shift = 0; shift < 32; shift += 8) {
        const unsigned c = (code >> shift) & 0xFF;
        if (c < 0x20 || c > 0x7E) return false;
    }
    return true;
}

std::string fourCCText(FourCC code) {
    if (!isPrintableFourCC(code)) {
        char hex[11];
        std::snprintf(hex, sizeof hex, "0x%08X", unsigned(code));
        return hex;
    }
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) text += char((code >> shift) & 0xFF);
    return text;
}

}  // namespace twinfold
