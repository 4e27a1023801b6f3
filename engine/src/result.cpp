// The texts of the engine's error codes: what a person reads in a report or a message box.
#include "engine/result.h"

namespace engine {

const char* errorText(ErrorCode code) {
    switch (code) {
    case ErrorCode::NotFound:
        return "the file does not exist";
    case ErrorCode::PermissionDenied:
        return "permission denied";
    case ErrorCode::LockedByOtherProgram:
        return "the workbook is open in another program";
    case ErrorCode::PasswordProtected:
        return "the workbook is password-protected";
    case ErrorCode::DigitallySigned:
        return "the workbook is digitally signed";
    case ErrorCode::UnsupportedFormat:
        return "this workbook format is not supported yet";
    case ErrorCode::NotAWorkbook:
        return "the file is not a workbook";
    case ErrorCode::Corrupt:
        return "the workbook is damaged";
    case ErrorCode::ResourceLimit:
        return "the workbook is too large or malformed to process safely";
    case ErrorCode::ProtectedSheet:
        return "a locked cell of a protected sheet would change";
    case ErrorCode::ResultTooLong:
        return "a cell text would exceed 32,767 characters";
    case ErrorCode::InvalidFormula:
        return "a changed formula would not be valid";
    case ErrorCode::TableHeaderConflict:
        return "a table would get two columns of the same name";
    case ErrorCode::Unencodable:
        return "a new text holds characters the file's encoding cannot hold";
    case ErrorCode::DiskFull:
        return "the disk is full";
    case ErrorCode::Vanished:
        return "the file was moved or deleted while it was processed";
    case ErrorCode::IoError:
        return "the file could not be read or written";
    }
    return "unknown error";
}

std::string Error::message() const {
    return detail.empty() ? std::string(errorText(code))
                          : std::string(errorText(code)) + ": " + detail;
}

} // namespace engine
