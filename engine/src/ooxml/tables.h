// A table part (ECMA-376 Part 1, 18.5.1 table): its header row, and renaming tableColumn@name
// when the header cell above a column changes, so that the table stays valid.
#pragma once

#include "cell_ref.h"
#include "engine/result.h"
#include "xml/xml_scanner.h"

#include <optional>
#include <string>
#include <vector>

namespace engine::ooxml {

class Table {
public:
    /// Reads the table's range, header row count and column names. Errors: Corrupt.
    static Result<Table> parse(std::string part, const std::string& partName);

    /// The column whose header cell is at ref, when the table has a header row.
    std::optional<std::size_t> headerColumn(CellRef ref) const;
    /// Gives column `column` the name `text` (the header cell's new text).
    void rename(std::size_t column, std::string text);
    bool renamed() const { return m_renamed; }
    /// The part with the new names. Errors: TableHeaderConflict when two columns would have
    /// the same name ignoring case, or a column would have none (detail names the table).
    Result<std::string> write() const;
    const std::string& partName() const { return m_partName; }

private:
    struct Column {
        std::string name; // decoded
        xml::Span value;  // the raw attribute value in the part
        bool renamed = false;
    };
    class Reader;

    std::string m_part, m_partName, m_name;
    std::optional<CellRange> m_range;
    std::uint32_t m_headerRows = 1;
    std::vector<Column> m_columns;
    bool m_renamed = false;
};

} // namespace engine::ooxml
