#include "scanning/TextCase.h"

#include <locale.h>
#include <wctype.h>

#include <cstddef>
#include <optional>

namespace twinfold {

namespace {

// The case tables come from a fixed UTF-8 locale rather than the process
// locale, so lower-casing does not depend on how the program was started.
locale_t unicodeCaseLocale() {
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
    return locale;
}

struct CodePoint {
    char32_t value;
    std::size_t length;
};

std::optional<CodePoint> decodeAt(std::string_view text, std::size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || i + length > text.size()) return std::nullopt;
    char32_t value = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) return std::nullopt;
        value = (value << 6) | (next & 0x3F);
    }
    static constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < smallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return std::nullopt;
    return CodePoint{value, length};
}

void appendUtf8(std::string& out, char32_t value) {
    if (value < 0x80) {
        out += static_cast<char>(value);
    } else if (value < 0x800) {
        out += static_cast<char>(0xC0 | (value >> 6));
        out += static_cast<char>(0x80 | (value & 0x3F));
    } else if (value < 0x10000) {
        out += static_cast<char>(0xE0 | (value >> 12));
        out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (value & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (value >> 18));
        out += static_cast<char>(0x80 | ((value >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (value & 0x3F));
    }
}

char32_t lowerCodePoint(char32_t value) {
    const locale_t locale = unicodeCaseLocale();
    if (locale == locale_t(0)) return value;
    const wint_t lower = towlower_l(static_cast<wint_t>(value), locale);
    // A mapping into the surrogate range or beyond Unicode would not encode.
    if (lower > 0x10FFFF || (lower >= 0xD800 && lower <= 0xDFFF)) return value;
    return static_cast<char32_t>(lower);
}

}  // namespace

std::string lowercased(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const char byte = utf8[i];
        if (static_cast<unsigned char>(byte) < 0x80) {
            out += (byte >= 'A' && byte <= 'Z') ? static_cast<char>(byte - 'A' + 'a') : byte;
            ++i;
        } else if (const auto decoded = decodeAt(utf8, i)) {
            appendUtf8(out, lowerCodePoint(decoded->value));
            i += decoded->length;
        } else {
            out += byte;
            ++i;
        }
    }
    return out;
}

}  // namespace twinfold
