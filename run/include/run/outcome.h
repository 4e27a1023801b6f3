// Typed results of the automation interface: an operation either gives its value or a
// reason a person can act on. No exception crosses the interface.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace run {

/// Why an automation call failed, in words a person can act on ("the workbook is
/// password-protected", "the file does not exist: report.xlsx").
struct Failure {
    std::string reason;
};

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
