// A table part (ECMA-376 Part 1, 18.5.1 table): its header row, and renaming tableColumn@name
// when the header cell above a column changes, so that the table stays valid. The part also
// keeps a copy of the formula of a calculated column and of the totals row: they get the same
// replacements as the cells' formulas, so that the table keeps describing its cells.
#pragma once

#include "engine/result.h"
#include "formula/references.h"
#include "rich_text.h"
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
    std::optional<std::size_t> headerColumn(formula::CellAddress cell) const;
    /// Gives column `column` the name `text` (the header cell's new text).
    void rename(std::size_t column, std::string text);
    bool renamed() const { return m_renamed; }
    /// The name formulas use for the table (displayName).
    const std::string& name() const { return m_name; }
    /// Whether the table has a column of that name (ignoring case), after the renames.
    bool hasColumn(std::string_view name) const;
    /// Whether it had one before the renames.
    bool hadColumn(std::string_view name) const;

    struct Formula {
        std::string element; ///< calculatedColumnFormula or totalsRowFormula
        std::size_t column = 0;
        std::string before, text; ///< stored form, decoded
        xml::Span content;
        bool changed = false;
    };
    /// Applies queue to the column formulas and totals formulas, with the rules of cell
    /// formulas; they must stay formulas. Errors: InvalidFormula (detail names the table).
    Status replaceInFormulas(const PreparedQueue& queue, const std::vector<std::string>& sheets);
    const std::vector<Formula>& formulas() const { return m_formulas; }
    bool formulasChanged() const { return m_formulasChanged; }
    /// Where a formula is, for messages.
    std::string describe(const Formula& formula) const;
    /// The cells a formula is kept for, in A1 style: the data rows of its column ("C2:C9") for
    /// a calculated column, the totals row's cell for a totals formula.
    std::string cells(const Formula& formula) const;
    /// True when the part must be written again.
    bool changed() const { return m_renamed || m_formulasChanged; }
    /// The part with the new names. Errors: TableHeaderConflict when two columns would have
    /// the same name ignoring case, or a column would have none (detail names the table).
    Result<std::string> write() const;
    const std::string& partName() const { return m_partName; }

private:
    struct Column {
        std::string name;     // decoded
        std::string original; // before any rename
        xml::Span value;      // the raw attribute value in the part
        bool renamed = false;
    };
    class Reader;

    std::string m_part, m_partName, m_name;
    std::optional<formula::CellRange> m_range;
    std::uint32_t m_headerRows = 1;
    std::uint32_t m_totalsRows = 0;
    std::vector<Column> m_columns;
    std::vector<Formula> m_formulas;
    bool m_renamed = false;
    bool m_formulasChanged = false;
};

} // namespace engine::ooxml
