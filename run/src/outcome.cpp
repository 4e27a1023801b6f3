// The texts and stable names of failures, and keeping the workbook's path out of a detail.
#include "run/outcome.h"

namespace run {

std::string Failure::reason() const {
    if (!code) {
        return detail;
    }
    std::string text = engine::errorText(*code);
    if (!detail.empty()) {
        text += ": " + detail;
    }
    return text;
}

const char* codeName(const Failure& failure) {
    if (!failure.code) {
        return "internal";
    }
    using engine::ErrorCode;
    switch (*failure.code) {
    case ErrorCode::NotFound:
        return "not-found";
    case ErrorCode::PermissionDenied:
        return "permission-denied";
    case ErrorCode::LockedByOtherProgram:
        return "locked";
    case ErrorCode::PasswordProtected:
        return "password-protected";
    case ErrorCode::DigitallySigned:
        return "digitally-signed";
    case ErrorCode::UnsupportedFormat:
        return "unsupported-format";
    case ErrorCode::NotAWorkbook:
        return "not-a-workbook";
    case ErrorCode::Corrupt:
        return "corrupt";
    case ErrorCode::ResourceLimit:
        return "resource-limit";
    case ErrorCode::ProtectedSheet:
        return "protected-sheet";
    case ErrorCode::ResultTooLong:
        return "result-too-long";
    case ErrorCode::InvalidFormula:
        return "invalid-formula";
    case ErrorCode::TableHeaderConflict:
        return "table-header-conflict";
    case ErrorCode::Unencodable:
        return "unencodable";
    case ErrorCode::DiskFull:
        return "disk-full";
    case ErrorCode::Vanished:
        return "vanished";
    case ErrorCode::IoError:
        return "io-error";
    }
    return "internal";
}

Failure failureOf(const engine::Error& error, const std::string& path) {
    const std::string& detail = error.detail;
    if (path.empty() || detail.compare(0, path.size(), path) != 0) {
        return Failure{error.code, detail};
    }
    const std::string rest = detail.substr(path.size());
    if (rest.empty()) {
        return Failure{error.code, {}};
    }
    if (rest.starts_with(": ")) {
        return Failure{error.code, rest.substr(2)};
    }
    if (rest.starts_with(" ")) {
        // "book.xlsx is read-only" reads "the file is read-only" after the path.
        return Failure{error.code, "the file" + rest};
    }
    return Failure{error.code, detail};
}

} // namespace run
