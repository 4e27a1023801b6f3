// Telling what a file is before touching it: a ZIP package, an encrypted OOXML package inside a
// compound file, a legacy compound-file workbook, or something else.
#pragma once

#include "engine/result.h"

#include <filesystem>

namespace engine::package {

/// What the first bytes (and, for a compound file, its directory) say a file is.
enum class FileKind {
    Zip,            ///< starts with a ZIP local header or end record
    EncryptedOoxml, ///< a compound file holding "EncryptionInfo" and "EncryptedPackage" streams
    LegacyCompound, ///< any other compound file (D0 CF 11 E0), such as a .xls workbook
    Other,          ///< anything else, empty files included
};

/// True for the names of delimited text files a spreadsheet program opens as a sheet: .csv,
/// .tsv, .txt and .prn in any case. Such a file is read as text when it is not a package.
bool isDelimitedTextName(const std::filesystem::path& path);

/// Reads the head of `path` (and the directory of a compound file) to tell its kind.
/// Errors: NotFound, PermissionDenied, IoError.
Result<FileKind> sniffFile(const std::filesystem::path& path);

} // namespace engine::package
