// The shared string table (SST, MS-XLS 2.4.265) with its CONTINUE records, and its index
// EXTSST (2.4.107): reading every entry, and writing the table anew with the continuation
// rules that Excel's readers rely on.
#pragma once

#include "engine/result.h"
#include "records.h"
#include "unicode_string.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace engine::xls {

/// One XLUnicodeRichExtendedString (MS-XLS 2.5.293).
struct SstEntry {
    std::u16string text;
    std::vector<FormatRun> runs;
    bool hasPhonetic = false;
    std::string phonetic; ///< the ExtRst bytes, kept as they are
};

struct SharedStrings {
    std::uint32_t total = 0; ///< cstTotal: LABELSST cells that refer to the table
    std::vector<SstEntry> entries;
};

/// Reads the SST at records[index] and the CONTINUE records that follow it.
/// Errors: Corrupt when a string runs past the table or its counts disagree with it.
Result<SharedStrings> readSharedStrings(std::string_view stream, const std::vector<Record>& records,
                                        std::size_t index);

/// The table written anew: an SST record and as many CONTINUE records as it needs (each at
/// most 8,224 bytes of data). A string's header never splits from its first character, a
/// formatting run is never split, a UTF-16 unit or surrogate pair is never cut, and only
/// continued characters get a new flag byte (in the 8-bit form when the rest fits it).
struct WrittenTable {
    std::string records;
    std::uint16_t stringsPerBucket = 8;
    /// For every stringsPerBucket-th string: its offset from the start of records, and from
    /// the start of the record holding it (header included).
    std::vector<std::pair<std::uint32_t, std::uint16_t>> buckets;
};
WrittenTable writeSharedStrings(const SharedStrings& table);

/// The EXTSST record for a table written at stream offset tableOffset.
std::string makeExtSst(const WrittenTable& table, std::uint32_t tableOffset);

} // namespace engine::xls
