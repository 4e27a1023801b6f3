// Reading the globals substream of a BIFF8 Workbook stream, and refusing what this engine
// must not edit (MS-XLS 2.4: FilePass, FileSharing, UsrExcl, FileLock; BIFF5 and older).
#include "globals.h"

#include "bytes.h"
#include "unicode_string.h"

#include <algorithm>
#include <iterator>

namespace engine::xls {
namespace {

std::string shortString(std::string_view data, std::size_t at) {
    // ShortXLUnicodeString: cch u8, flags, characters.
    if (at + 2 > data.size()) {
        return {};
    }
    const std::size_t cch = static_cast<unsigned char>(data[at]);
    const bool high = (static_cast<unsigned char>(data[at + 1]) & 1) != 0;
    std::u16string units;
    for (std::size_t i = 0; i < cch && at + 2 + (i + 1) * (high ? 2 : 1) <= data.size(); ++i) {
        units.push_back(high ? static_cast<char16_t>(load16(data.data() + at + 2 + 2 * i))
                             : static_cast<char16_t>(static_cast<unsigned char>(data[at + 2 + i])));
    }
    return toUtf8(units);
}

// The names of built-in defined names (MS-XLS 2.4.150 Lbl, fBuiltin).
std::string builtInName(unsigned char code) {
    static const char* const kNames[] = {
        "Consolidate_Area", "Auto_Open",       "Auto_Close",   "Extract",        "Database",
        "Criteria",         "Print_Area",      "Print_Titles", "Recorder",       "Data_Form",
        "Auto_Activate",    "Auto_Deactivate", "Sheet_Title",  "_FilterDatabase"};
    return code < std::size(kNames) ? kNames[code] : "_builtin" + std::to_string(code);
}

// A SUPBOOK's file name as a formula shows it (MS-XLS 2.5.277 VirtualPath): the encoded form
// starts with 0x01 and marks drives, roots, separators and parent folders with control
// characters.
std::u16string decodeVirtualPath(const std::u16string& path) {
    if (path.empty() || path[0] != 0x01) {
        return path;
    }
    std::u16string out;
    for (std::size_t i = 1; i < path.size(); ++i) {
        switch (path[i]) {
        case 0x01:
            if (i + 1 < path.size()) {
                ++i;
                out += path[i] == u'@' ? std::u16string(u"\\\\")
                                       : std::u16string{path[i], u':', u'\\'};
            }
            break;
        case 0x02:
        case 0x03:
            out += u'\\';
            break;
        case 0x04:
            out += u"..\\";
            break;
        case 0x05: // a URL or long volume, written out after its length
            if (i + 1 < path.size()) {
                const std::size_t n = std::min<std::size_t>(path[i + 1], path.size() - i - 2);
                out += path.substr(i + 2, n);
                i += 1 + n;
            }
            break;
        case 0x06:
        case 0x07:
        case 0x08:
            break; // the startup and library folders
        default:
            out += path[i];
        }
    }
    return out;
}

} // namespace

Result<Globals> Globals::read(std::string bytes) {
    Globals g;
    auto file = CompoundFile::parse(std::move(bytes));
    if (!file) {
        return file.error();
    }
    g.file = std::move(file.value());
    // What the directory alone tells: signatures and rights management protect the whole
    // file; a shared workbook keeps its revisions beside the stream.
    for (std::size_t i : g.file.rootChildren()) {
        const std::string& name = g.file.entries()[i].name;
        if (name == "_signatures" || name == "_xmlsignatures") {
            return Error{ErrorCode::DigitallySigned, name};
        }
        if (name == "\x06"
                    "DataSpaces") {
            return Error{ErrorCode::PasswordProtected, "rights management (\\x06DataSpaces)"};
        }
        if (name == "Revision Log" || name == "User Names") {
            return Error{ErrorCode::UnsupportedFormat, "a shared workbook (" + name + ")"};
        }
    }
    const long workbook = g.file.findRootChild("Workbook");
    const long book = g.file.findRootChild("Book");
    if (workbook >= 0 && book >= 0) {
        return Error{ErrorCode::UnsupportedFormat,
                     "a workbook saved as Excel 97 and 5.0/95 at once (Book and Workbook streams)"};
    }
    if (book >= 0) {
        return Error{ErrorCode::UnsupportedFormat, "an Excel 5.0/95 workbook (BIFF5)"};
    }
    if (workbook < 0 || g.file.entries()[static_cast<std::size_t>(workbook)].type != 2) {
        return Error{ErrorCode::NotAWorkbook, "a compound file without a Workbook stream"};
    }
    g.workbookEntry = static_cast<std::size_t>(workbook);
    auto stream = g.file.readStream(g.workbookEntry);
    if (!stream) {
        return stream.error();
    }
    g.stream = std::move(stream.value());
    auto records = splitRecords(g.stream);
    if (!records) {
        return records.error();
    }
    g.records = std::move(records.value());
    if (g.records.empty() || g.records[0].type != rt::kBof || g.records[0].size < 4) {
        if (!g.records.empty() && (g.records[0].type == 0x0009 || g.records[0].type == 0x0209 ||
                                   g.records[0].type == 0x0409)) {
            return Error{ErrorCode::UnsupportedFormat, "an Excel 2.x-4.0 workbook"};
        }
        return Error{ErrorCode::Corrupt, "the Workbook stream does not begin with BOF"};
    }
    const char* bof = g.stream.data() + g.records[0].dataOffset();
    if (load16(bof) != 0x0600) {
        return Error{ErrorCode::UnsupportedFormat, "an Excel 5.0/95 workbook (BIFF5)"};
    }
    if (load16(bof + 2) != 0x0005) {
        return Error{ErrorCode::Corrupt, "the Workbook stream does not begin with the globals"};
    }

    std::vector<std::pair<std::uint32_t, std::size_t>> sheetOffsets; // lbPlyPos, BOUNDSHEET
    std::vector<std::uint8_t> sheetTypes;
    g.globalsEof = SIZE_MAX;
    for (std::size_t i = 1; i < g.records.size(); ++i) {
        const Record& r = g.records[i];
        const std::string_view data(g.stream.data() + r.dataOffset(), r.size);
        switch (r.type) {
        case rt::kFilePass:
            return Error{ErrorCode::PasswordProtected, "the workbook is encrypted (FILEPASS)"};
        case rt::kFileSharing:
            if (data.size() >= 4 && load16(data.data() + 2) != 0) {
                return Error{ErrorCode::PasswordProtected, "a password to modify (FILESHARING)"};
            }
            break;
        case rt::kUsrExcl:
        case rt::kFileLock:
            return Error{ErrorCode::UnsupportedFormat, "a shared workbook"};
        case rt::kBoundSheet:
            if (data.size() < 8) {
                return Error{ErrorCode::Corrupt, "a BOUNDSHEET record is cut short"};
            }
            sheetOffsets.emplace_back(load32(data.data()), i);
            sheetTypes.push_back(static_cast<std::uint8_t>(data[5]));
            g.sheets.push_back({shortString(data, 6), false});
            g.names.sheets.push_back(g.sheets.back().name);
            break;
        case rt::kSst: {
            auto table = readSharedStrings(g.stream, g.records, i);
            if (!table) {
                return table.error();
            }
            g.strings = std::move(table.value());
            g.sstRecord = i;
            break;
        }
        case rt::kExtSst:
            g.extSstRecord = i;
            break;
        case rt::kFormat:
            if (data.size() >= 5) {
                std::size_t at = 2;
                auto code = readUnicodeString(data, at);
                g.formats[load16(data.data())] = code ? toUtf8(*code) : std::string();
            }
            break;
        case rt::kXf:
            if (data.size() >= 6) {
                g.xfs.push_back({load16(data.data() + 2), (load16(data.data() + 4) & 0x01) != 0});
            }
            break;
        case rt::kSupBook: {
            FormulaNames::SupBook supBook;
            if (data.size() >= 4 && load16(data.data() + 2) == 0x0401) {
                supBook.kind = FormulaNames::SupBook::Self;
            } else if (data.size() >= 4 && load16(data.data() + 2) == 0x3A01) {
                supBook.kind = FormulaNames::SupBook::AddIn;
            } else {
                supBook.kind = FormulaNames::SupBook::External;
                std::size_t at = 2;
                const std::size_t count = data.size() >= 2 ? load16(data.data()) : 0;
                if (auto p = readUnicodeString(data, at)) {
                    supBook.path = toUtf8(decodeVirtualPath(*p));
                }
                for (std::size_t k = 0; k < count; ++k) {
                    auto s = readUnicodeString(data, at);
                    if (!s) {
                        break;
                    }
                    supBook.sheets.push_back(toUtf8(*s));
                }
            }
            g.names.supBooks.push_back(std::move(supBook));
            break;
        }
        case 0x0023: // EXTERNNAME, for the SUPBOOK before it
            if (!g.names.supBooks.empty() && data.size() >= 8) {
                g.names.supBooks.back().externNames.push_back(shortString(data, 6));
            }
            break;
        case rt::kExternSheet:
            if (data.size() >= 2) {
                const std::size_t count = load16(data.data());
                for (std::size_t k = 0; k < count && 2 + 6 * (k + 1) <= data.size(); ++k) {
                    const char* p = data.data() + 2 + 6 * k;
                    g.names.xti.push_back({load16(p), load16(p + 2), load16(p + 4)});
                }
            }
            break;
        case rt::kName: {
            std::string name;
            if (data.size() >= 15) {
                const bool builtIn = (load16(data.data()) & 0x0020) != 0;
                const std::size_t cch = static_cast<unsigned char>(data[3]);
                const bool high = (static_cast<unsigned char>(data[14]) & 1) != 0;
                std::u16string units;
                for (std::size_t k = 0; k < cch && 15 + (k + 1) * (high ? 2 : 1) <= data.size();
                     ++k) {
                    units.push_back(
                        high ? static_cast<char16_t>(load16(data.data() + 15 + 2 * k))
                             : static_cast<char16_t>(static_cast<unsigned char>(data[15 + k])));
                }
                name = builtIn && !units.empty() && units[0] < 0x20
                           ? builtInName(static_cast<unsigned char>(units[0]))
                           : toUtf8(units);
            }
            g.names.names.push_back(std::move(name));
            break;
        }
        default:
            break;
        }
        if (r.type == rt::kEof) {
            g.globalsEof = i;
            break;
        }
    }
    if (g.globalsEof == SIZE_MAX) {
        return Error{ErrorCode::Corrupt, "the globals substream has no EOF"};
    }
    // Each sheet's substream starts where its BOUNDSHEET says.
    for (std::size_t s = 0; s < sheetOffsets.size(); ++s) {
        const auto offset = sheetOffsets[s].first;
        const auto it =
            std::lower_bound(g.records.begin(), g.records.end(), offset,
                             [](const Record& r, std::uint32_t o) { return r.offset < o; });
        if (it == g.records.end() || it->offset != offset || it->type != rt::kBof) {
            return Error{ErrorCode::Corrupt, "the position of sheet " + g.sheets[s].name +
                                                 " does not hold its BOF record"};
        }
        SheetRange range;
        range.boundSheet = sheetOffsets[s].second;
        range.first = static_cast<std::size_t>(it - g.records.begin());
        int depth = 0;
        std::size_t i = range.first;
        for (; i < g.records.size(); ++i) {
            if (g.records[i].type == rt::kBof) {
                ++depth;
            } else if (g.records[i].type == rt::kEof && --depth == 0) {
                break;
            }
        }
        if (i == g.records.size()) {
            return Error{ErrorCode::Corrupt, "sheet " + g.sheets[s].name + " has no EOF record"};
        }
        range.end = i + 1;
        const Record& sheetBof = g.records[range.first];
        const std::uint16_t kind =
            sheetBof.size >= 4 ? load16(g.stream.data() + sheetBof.dataOffset() + 2) : 0;
        g.sheets[s].hasCells =
            (sheetTypes[s] == 0 || sheetTypes[s] == 1) && (kind == 0x0010 || kind == 0x0040);
        g.ranges.push_back(range);
    }
    return g;
}

} // namespace engine::xls
