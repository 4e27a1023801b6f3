// What the globals substream of a Workbook stream holds that cells and the layout need: the
// records, the sheets' substreams, the shared strings, cell formats and formula names.
#pragma once

#include "compound_file.h"
#include "engine/result.h"
#include "engine/workbook.h"
#include "formula.h"
#include "records.h"
#include "shared_string_table.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace engine::xls {

struct Globals {
    struct Xf {
        std::uint16_t format = 0;
        bool locked = true;
    };
    struct SheetRange {
        std::size_t boundSheet = 0; ///< its BOUNDSHEET record
        std::size_t first = 0;      ///< its BOF record
        std::size_t end = 0;        ///< just after its EOF record
    };

    CompoundFile file;
    std::size_t workbookEntry = 0;
    std::string stream;
    std::vector<Record> records;
    std::size_t globalsEof = 0;
    std::vector<SheetInfo> sheets;
    std::vector<SheetRange> ranges;
    SharedStrings strings;
    std::size_t sstRecord = SIZE_MAX;
    std::size_t extSstRecord = SIZE_MAX;
    std::vector<Xf> xfs;
    std::map<std::uint16_t, std::string> formats;
    FormulaNames names;

    std::string_view data(std::size_t record) const {
        return std::string_view(stream).substr(records[record].dataOffset(), records[record].size);
    }

    /// Reads a compound file's bytes. Errors: the refusals of a .xls (see XlsWorkbook::open),
    /// NotAWorkbook, Corrupt.
    static Result<Globals> read(std::string bytes);
};

/// What a run changes in the stream: records replaced (by any number of records, or none),
/// and the shared strings when they changed.
struct ChangeSet {
    explicit ChangeSet(const SharedStrings& original) : strings(original) {}
    SharedStrings strings;
    bool stringsChanged = false;
    std::map<std::size_t, std::string> edits; ///< record index -> its new bytes, headers included
    /// Shared strings already decided when every sheet has the same queue: index -> changed.
    std::map<std::uint32_t, bool> decided;
};

} // namespace engine::xls
