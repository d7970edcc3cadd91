#pragma once

// Just enough JSON for the records this layer keeps on disk: strict UTF-8
// text in, one value out, and the pieces to write a line back. Members keep
// their order; lookups take the last of a repeated name.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace twinfold::json {

struct Value {
    enum class Kind { null, boolean, number, string, array, object };

    Kind kind = Kind::null;
    bool boolean = false;
    double number = 0;
    std::string text;  // a string's UTF-8 bytes
    std::vector<Value> items;
    std::vector<std::pair<std::string, Value>> members;

    // The member named `key`, or null when there is none (or this is no object).
    const Value* member(std::string_view key) const;
    bool isString() const { return kind == Kind::string; }
    // A number that is a whole value within ±2^53, else `fallback`.
    std::int64_t integer(std::int64_t fallback) const;
};

// The one value `text` holds (with white space around it); nothing when it
// is not JSON, has text after the value, a string that is not UTF-8 or
// nesting deeper than 64.
std::optional<Value> parse(std::string_view text);

bool isValidUtf8(std::string_view bytes);

// `text` as a JSON string, quotes included. Bytes that are not UTF-8 each
// become U+FFFD, so the line stays valid JSON; keep the exact bytes elsewhere.
void appendString(std::string& out, std::string_view text);

}  // namespace twinfold::json
