// Workbook::open: tells the file kind and hands the file to the code for its format: OOXML
// packages, OpenDocument spreadsheets, .xls compound files and delimited text.
#include "engine/workbook.h"

#include "delimited/delimited_workbook.h"
#include "ods/ods_workbook.h"
#include "ooxml/ooxml_workbook.h"
#include "package/file_kind.h"
#include "package/lock_files.h"
#include "text/ascii.h"
#include "xls/xls_workbook.h"
#include "zip/zip_archive.h"

#include <algorithm>

namespace engine {
namespace {

std::string lowerExtension(const std::filesystem::path& path) {
    return text::asciiLower(path.extension().string());
}

} // namespace

Result<std::unique_ptr<Workbook>> Workbook::open(const std::filesystem::path& path,
                                                 const OpenOptions& options) {
    auto kind = package::sniffFile(path);
    if (!kind) {
        return kind.error();
    }
    switch (kind.value()) {
    case package::FileKind::EncryptedOoxml:
        return Error{ErrorCode::PasswordProtected, {}};
    case package::FileKind::LegacyCompound:
        if (options.honourLockFiles) {
            auto locked = package::checkLockFiles(path);
            if (!locked) {
                return locked.error();
            }
        }
        return xls::XlsWorkbook::open(path, options);
    case package::FileKind::Other: {
        const std::string ext = lowerExtension(path);
        if (ext == ".xls" || ext == ".xlt" || ext == ".xla") {
            if (auto why = xls::describeNonCompoundXls(path)) {
                return *why;
            }
        }
        if (!package::isDelimitedTextName(path)) {
            return Error{ErrorCode::NotAWorkbook, {}};
        }
        break;
    }
    case package::FileKind::Zip:
        break;
    }
    if (options.honourLockFiles) {
        auto locked = package::checkLockFiles(path);
        if (!locked) {
            return locked.error();
        }
    }
    if (kind.value() == package::FileKind::Other) {
        return delimited::DelimitedWorkbook::open(path, options);
    }
    auto zip = zip::ZipReader::open(path);
    if (!zip) {
        return zip.error();
    }
    if (ods::isOpenDocument(*zip.value())) {
        return ods::OdsWorkbook::open(path, std::move(zip.value()), options);
    }
    return ooxml::OoxmlWorkbook::open(path, std::move(zip.value()), options);
}

Status Workbook::search(CellListener& /*listener*/) {
    return Error{ErrorCode::UnsupportedFormat, "searching this format"};
}

} // namespace engine
