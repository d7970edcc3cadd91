#include "jobs/JsonText.h"

#include <cmath>
#include <cstdlib>

namespace twinfold::json {

namespace {

constexpr int kMaxDepth = 64;

// The length of the well-formed UTF-8 sequence at `at` (no overlong forms,
// no surrogates, nothing past U+10FFFF), or 0.
std::size_t sequenceAt(std::string_view s, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, low = lead == 0xE0 ? 0xA0 : 0x80, high = lead == 0xED ? 0x9F : 0xBF;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, low = lead == 0xF0 ? 0x90 : 0x80, high = lead == 0xF4 ? 0x8F : 0xBF;
    else
        return 0;
    if (at + length > s.size()) return 0;
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
    }
    return length;
}

void appendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    std::optional<Value> document() {
        Value value;
        if (!parseValue(value, 0)) return std::nullopt;
        skipSpace();
        if (at_ != text_.size()) return std::nullopt;
        return value;
    }

private:
    bool parseValue(Value& value, int depth) {
        skipSpace();
        if (at_ >= text_.size() || depth > kMaxDepth) return false;
        switch (text_[at_]) {
        case '{': value.kind = Value::Kind::object; return parseObject(value, depth);
        case '[': value.kind = Value::Kind::array; return parseArray(value, depth);
        case '"': value.kind = Value::Kind::string; return parseString(value.text);
        case 't':
            value.kind = Value::Kind::boolean;
            value.boolean = true;
            return word("true");
        case 'f': value.kind = Value::Kind::boolean; return word("false");
        case 'n': return word("null");
        default: value.kind = Value::Kind::number; return parseNumber(value.number);
        }
    }

    bool parseObject(Value& value, int depth) {
        ++at_;
        if (skipSpace(), peek('}')) return ++at_, true;
        for (;;) {
            std::string key;
            if (skipSpace(), !peek('"') || !parseString(key)) return false;
            if (skipSpace(), !peek(':')) return false;
            ++at_;
            Value member;
            if (!parseValue(member, depth + 1)) return false;
            value.members.emplace_back(std::move(key), std::move(member));
            if (skipSpace(), peek(',')) {
                ++at_;
                continue;
            }
            if (!peek('}')) return false;
            return ++at_, true;
        }
    }

    bool parseArray(Value& value, int depth) {
        ++at_;
        if (skipSpace(), peek(']')) return ++at_, true;
        for (;;) {
            Value item;
            if (!parseValue(item, depth + 1)) return false;
            value.items.push_back(std::move(item));
            if (skipSpace(), peek(',')) {
                ++at_;
                continue;
            }
            if (!peek(']')) return false;
            return ++at_, true;
        }
    }

    bool parseString(std::string& out) {
        ++at_;
        while (at_ < text_.size()) {
            const unsigned char c = static_cast<unsigned char>(text_[at_]);
            if (c == '"') return ++at_, true;
            if (c < 0x20) return false;
            if (c == '\\') {
                if (!parseEscape(out)) return false;
                continue;
            }
            const std::size_t length = sequenceAt(text_, at_);
            if (length == 0) return false;
            out.append(text_.substr(at_, length));
            at_ += length;
        }
        return false;
    }

    bool parseEscape(std::string& out) {
        if (++at_ >= text_.size()) return false;
        const char c = text_[at_++];
        switch (c) {
        case '"':
        case '\\':
        case '/': out += c; return true;
        case 'b': out += '\b'; return true;
        case 'f': out += '\f'; return true;
        case 'n': out += '\n'; return true;
        case 'r': out += '\r'; return true;
        case 't': out += '\t'; return true;
        case 'u': break;
        default: return false;
        }
        std::uint32_t code = 0;
        if (!hex4(code)) return false;
        if (code >= 0xD800 && code <= 0xDBFF) {
            std::uint32_t low = 0;
            if (!peek('\\') || at_ + 1 >= text_.size() || text_[at_ + 1] != 'u') return false;
            at_ += 2;
            if (!hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        } else if (code >= 0xDC00 && code <= 0xDFFF) {
            return false;
        }
        appendUtf8(out, code);
        return true;
    }

    bool hex4(std::uint32_t& code) {
        if (at_ + 4 > text_.size()) return false;
        for (int i = 0; i < 4; ++i) {
            const char c = text_[at_++];
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
            if (digit < 0) return false;
            code = code * 16 + std::uint32_t(digit);
        }
        return true;
    }

    // JSON's number grammar, then strtod on exactly those characters.
    bool parseNumber(double& number) {
        const std::size_t start = at_;
        const auto digits = [&] {
            const std::size_t from = at_;
            while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
            return at_ > from;
        };
        if (peek('-')) ++at_;
        if (peek('0'))
            ++at_;
        else if (!digits())
            return false;
        if (peek('.') && (++at_, !digits())) return false;
        if (peek('e') || peek('E')) {
            ++at_;
            if (peek('+') || peek('-')) ++at_;
            if (!digits()) return false;
        }
        const std::string literal(text_.substr(start, at_ - start));
        number = std::strtod(literal.c_str(), nullptr);
        return std::isfinite(number);
    }

    bool word(std::string_view expected) {
        if (text_.substr(at_, expected.size()) != expected) return false;
        at_ += expected.size();
        return true;
    }

    bool peek(char c) const { return at_ < text_.size() && text_[at_] == c; }
    void skipSpace() {
        while (at_ < text_.size() &&
               (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r'))
            ++at_;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

}  // namespace

const Value* Value::member(std::string_view key) const {
    for (auto it = members.rbegin(); it != members.rend(); ++it) {
        if (it->first == key) return &it->second;
    }
    return nullptr;
}

std::int64_t Value::integer(std::int64_t fallback) const {
    constexpr double limit = 9007199254740992.0;  // 2^53
    if (kind != Kind::number || number != std::trunc(number) || std::fabs(number) > limit) return fallback;
    return std::int64_t(number);
}

std::optional<Value> parse(std::string_view text) { return Parser(text).document(); }

bool isValidUtf8(std::string_view bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t length = sequenceAt(bytes, at);
        if (length == 0) return false;
        at += length;
    }
    return true;
}

void appendString(std::string& out, std::string_view text) {
    static constexpr char hex[] = "0123456789abcdef";
    out += '"';
    for (std::size_t at = 0; at < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        const std::size_t length = sequenceAt(text, at);
        if (length == 0) {
            out += "\xEF\xBF\xBD";  // U+FFFD
            ++at;
            continue;
        }
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 0xF];
            } else {
                out.append(text.substr(at, length));
            }
        }
        at += length;
    }
    out += '"';
}

}  // namespace twinfold::json
