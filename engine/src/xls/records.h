// The Workbook stream as BIFF8 records ([MS-XLS] 2.1.4): type, size, data, and the record
// types this engine reads or writes.
#pragma once

#include "engine/result.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace engine::xls {

namespace rt {
inline constexpr std::uint16_t kFormula = 0x0006, kEof = 0x000A, kProtect = 0x0012,
                               kExternSheet = 0x0017, kName = 0x0018, kFilePass = 0x002F,
                               kContinue = 0x003C, kDefColWidth = 0x0055, kFileSharing = 0x005B,
                               kBoundSheet = 0x0085, kMulRk = 0x00BD, kMulBlank = 0x00BE,
                               kRString = 0x00D6, kDbCell = 0x00D7, kXf = 0x00E0, kSst = 0x00FC,
                               kExtSst = 0x00FF, kLabelSst = 0x00FD, kUsrExcl = 0x0194,
                               kFileLock = 0x0195, kSupBook = 0x01AE, kBlank = 0x0201,
                               kNumber = 0x0203, kLabel = 0x0204, kBoolErr = 0x0205,
                               kString = 0x0207, kIndex = 0x020B, kArray = 0x0221, kRk = 0x027E,
                               kFormat = 0x041E, kShrFmla = 0x04BC, kBof = 0x0809;
}

/// The most data one record may hold (MS-XLS 2.1.4).
inline constexpr std::size_t kMaxRecordData = 8224;

struct Record {
    std::uint32_t offset = 0; ///< of its header in the stream
    std::uint16_t type = 0;
    std::uint16_t size = 0;
    std::uint32_t dataOffset() const { return offset + 4; }
    std::uint32_t end() const { return offset + 4 + size; }
};

/// Splits a Workbook stream into records up to the end of its last substream; whatever
/// follows (the zero padding some writers add) is left out and kept by the caller.
/// Errors: Corrupt when a record runs past the end of the stream.
Result<std::vector<Record>> splitRecords(std::string_view stream);

/// A record with its 4-byte header.
std::string makeRecord(std::uint16_t type, std::string_view data);

} // namespace engine::xls
