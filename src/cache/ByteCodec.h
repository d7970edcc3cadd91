#pragma once

// The byte form the analysis cache stores its entries in.

#include <cstdint>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace twinfold::codec {

// Fixed-width little-endian-as-stored values: the cache never leaves the
// machine that wrote it, so host byte order is enough.
class Writer {
public:
    template <typename T>
    void put(T value) {
        static_assert(std::is_trivially_copyable_v<T>);
        bytes_.append(reinterpret_cast<const char*>(&value), sizeof value);
    }
    void text(const std::string& s) {
        put(std::uint32_t(s.size()));
        bytes_ += s;
    }
    // A std::optional or a Boxed.
    template <typename Optional, typename Put>
    void optional(const Optional& value, Put each) {
        put(bool(value));
        if (value) each(*value);
    }
    template <typename T>
    void array(const std::vector<T>& values) {
        static_assert(std::is_trivially_copyable_v<T>);
        put(std::uint32_t(values.size()));
        bytes_.append(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(T));
    }
    std::string take() { return std::move(bytes_); }

private:
    std::string bytes_;
};

struct Malformed : std::runtime_error {
    Malformed() : std::runtime_error("malformed cache entry") {}
};

class Reader {
public:
    explicit Reader(std::string_view bytes) : rest_(bytes) {}
    template <typename T>
    T get() {
        if constexpr (std::is_same_v<T, bool>) {
            const auto byte = get<std::uint8_t>();
            if (byte > 1) throw Malformed();
            return byte == 1;
        }
        T value;
        if (rest_.size() < sizeof value) throw Malformed();
        std::memcpy(&value, rest_.data(), sizeof value);
        rest_.remove_prefix(sizeof value);
        return value;
    }
    std::string text() {
        const auto n = get<std::uint32_t>();
        if (rest_.size() < n) throw Malformed();
        std::string s(rest_.substr(0, n));
        rest_.remove_prefix(n);
        return s;
    }
    template <typename T, typename Get>
    std::optional<T> optional(Get each) {
        if (!get<bool>()) return std::nullopt;
        return each();
    }
    // A count of records each at least `minimumSize` bytes long; a damaged
    // count cannot make the reader allocate more than the entry holds.
    std::uint32_t count(std::size_t minimumSize) {
        const auto n = get<std::uint32_t>();
        if (std::size_t(n) * minimumSize > rest_.size()) throw Malformed();
        return n;
    }
    template <typename T>
    std::vector<T> array() {
        const auto n = count(sizeof(T));
        std::vector<T> values(n);
        if (n > 0) std::memcpy(values.data(), rest_.data(), std::size_t(n) * sizeof(T));
        rest_.remove_prefix(std::size_t(n) * sizeof(T));
        return values;
    }
    bool atEnd() const { return rest_.empty(); }

private:
    std::string_view rest_;
};

}  // namespace twinfold::codec
