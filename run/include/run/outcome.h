// Typed results of the automation interface: an operation either gives its value or a failure
// that keeps the engine's error code and detail. No exception crosses the interface.
#pragma once

#include "engine/result.h"

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace run {

/// Why an automation call failed. An engine failure keeps its code and the detail naming the
/// part, sheet or cell, never the workbook's own path: the front end prints that before it.
/// A failure without a code is a fault in how the program drives the interface.
struct Failure {
    Failure(engine::ErrorCode errorCode, std::string errorDetail)
        : code(errorCode), detail(std::move(errorDetail)) {}
    Failure(std::string text) : detail(std::move(text)) {}

    std::optional<engine::ErrorCode> code;
    std::string detail;

    /// The words a person reads after the path: the code's text, then ": " and the detail
    /// when there is one ("permission denied: the file is read-only").
    std::string reason() const;
};

/// The stable name of a failure's kind in reports: "permission-denied", "not-found", ... and
/// "internal" for a failure without a code.
const char* codeName(const Failure& failure);

/// error as a failure of the workbook at path: a detail that is the path, or starts with it,
/// does not repeat it.
Failure failureOf(const engine::Error& error, const std::string& path);

struct Done {};

template <class T>
class Outcome {
public:
    Outcome(T value) : m_value(std::move(value)) {}
    Outcome(Failure failure) : m_value(std::move(failure)) {}
    bool ok() const { return std::holds_alternative<T>(m_value); }
    explicit operator bool() const { return ok(); }
    T& value() { return std::get<T>(m_value); }
    const T& value() const { return std::get<T>(m_value); }
    const Failure& failure() const { return std::get<Failure>(m_value); }

private:
    std::variant<T, Failure> m_value;
};

using Status = Outcome<Done>;

inline Status succeeded() {
    return Done{};
}

} // namespace run
