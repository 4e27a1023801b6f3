// Typed results of the engine: no exception crosses its public API.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace engine {

/// Why an operation on a workbook failed. Each value has a text a person can act on
/// (errorText); the detail of an Error names the part, sheet or cell involved.
enum class ErrorCode {
    NotFound,             ///< "the file does not exist"
    PermissionDenied,     ///< "permission denied"
    LockedByOtherProgram, ///< "the workbook is open in another program" (detail: the lock file)
    PasswordProtected,    ///< "the workbook is password-protected"
    DigitallySigned,      ///< "the workbook is digitally signed"
    UnsupportedFormat,    ///< "this workbook format is not supported yet"
    NotAWorkbook,         ///< "the file is not a workbook"
    Corrupt,              ///< "the workbook is damaged"
    ResourceLimit,        ///< "the workbook is too large or malformed to process safely"
    ProtectedSheet,       ///< "a locked cell of a protected sheet would change"
    ResultTooLong,        ///< "a cell text would exceed 32,767 characters"
    InvalidFormula,       ///< "a changed formula would not be valid"
    TableHeaderConflict,  ///< "a table would get two columns of the same name"
    Unencodable,          ///< "a new text holds characters the file's encoding cannot hold"
    DiskFull,             ///< "the disk is full"
    Vanished,             ///< "the file was moved or deleted while it was processed"
    IoError,              ///< "the file could not be read or written"
};

/// The fixed text of a code, without detail.
const char* errorText(ErrorCode code);

struct Error {
    ErrorCode code;
    std::string detail;
    /// errorText(code), then ": " and the detail when there is one.
    std::string message() const;
};

template <class T>
class Result {
public:
    Result(T value) : m_value(std::move(value)) {}
    Result(Error error) : m_value(std::move(error)) {}
    bool ok() const { return std::holds_alternative<T>(m_value); }
    explicit operator bool() const { return ok(); }
    T& value() { return std::get<T>(m_value); }
    const T& value() const { return std::get<T>(m_value); }
    const Error& error() const { return std::get<Error>(m_value); }

private:
    std::variant<T, Error> m_value;
};

struct Unit {};
using Status = Result<Unit>;

} // namespace engine
