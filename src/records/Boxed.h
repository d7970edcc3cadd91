#pragma once

#include <concepts>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

namespace twinfold {

// An optional value kept on the heap: one pointer wide when empty. For the
// members a result rarely has (a partner file, a note, a multichannel
// analysis), which would otherwise widen every one of a large library's
// records. Reads like std::optional and copies its value.
template <typename T>
class Boxed {
public:
    Boxed() = default;
    Boxed(std::nullopt_t) {}
    template <typename U = T>
    requires(std::is_constructible_v<T, U&&> && !std::same_as<std::remove_cvref_t<U>, Boxed> &&
             !std::same_as<std::remove_cvref_t<U>, std::nullopt_t> &&
             !std::same_as<std::remove_cvref_t<U>, std::optional<T>>) Boxed(U&& value)
        : value_(std::make_unique<T>(std::forward<U>(value))) {}
    Boxed(const std::optional<T>& value) {
        if (value) value_ = std::make_unique<T>(*value);
    }
    Boxed(std::optional<T>&& value) {
        if (value) value_ = std::make_unique<T>(std::move(*value));
    }
    Boxed(const Boxed& other) : value_(other.value_ ? std::make_unique<T>(*other.value_) : nullptr) {}
    Boxed(Boxed&&) noexcept = default;
    Boxed& operator=(const Boxed& other) {
        if (this != &other) value_ = other.value_ ? std::make_unique<T>(*other.value_) : nullptr;
        return *this;
    }
    Boxed& operator=(Boxed&&) noexcept = default;

    bool has_value() const { return value_ != nullptr; }
    explicit operator bool() const { return has_value(); }
    T& operator*() { return *value_; }
    const T& operator*() const { return *value_; }
    T* operator->() { return value_.get(); }
    const T* operator->() const { return value_.get(); }
    const T& value() const {
        if (!value_) throw std::bad_optional_access();
        return *value_;
    }
    template <typename U>
    T value_or(U&& fallback) const {
        return value_ ? *value_ : T(std::forward<U>(fallback));
    }
    void reset() { value_.reset(); }
    template <typename... Args>
    T& emplace(Args&&... args) {
        value_ = std::make_unique<T>(std::forward<Args>(args)...);
        return *value_;
    }
    operator std::optional<T>() const { return value_ ? std::optional<T>(*value_) : std::nullopt; }

    friend bool operator==(const Boxed& a, const Boxed& b) {
        return a.has_value() == b.has_value() && (!a.has_value() || *a == *b);
    }
    friend bool operator==(const Boxed& a, std::nullopt_t) { return !a.has_value(); }
    friend bool operator==(const Boxed& a, const T& b) { return a.has_value() && *a == b; }

private:
    std::unique_ptr<T> value_;
};

}  // namespace twinfold
