#pragma once

// What an operation throws, for tests of an error's case or message.

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace twinfold::test {

// The E that `operation` throws; nullopt when it throws none, which is a
// test failure unless the error is `optional`.
template <class E, class Operation>
std::optional<E> thrown(Operation&& operation, bool optional = false) {
    try {
        operation();
    } catch (const E& error) {
        return error;
    }
    if (!optional) ADD_FAILURE() << "expected an error";
    return std::nullopt;
}

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Its message, or "" when it throws none.
template <class E, class Operation>
std::string thrownMessage(Operation&& operation) {
    const std::optional<E> error = thrown<E>(operation);
    return error ? error->what() : "";
}

}  // namespace twinfold::test
