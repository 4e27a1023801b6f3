// Structured references (Table1[Column]) must keep pointing at columns that exist: a header
// cell that changes renames its column, and a replacement inside a formula can name a table or
// column the workbook does not have. Either would leave a workbook that a spreadsheet program
// has to repair, so the save is refused instead, naming the formula.
#pragma once

#include "engine/result.h"
#include "tables.h"

#include <string>
#include <string_view>
#include <vector>

namespace engine::ooxml {

struct StructuredUse {
    std::string where; ///< "Sheet1!E2", "the column formula of table ..."
    std::string table;
    std::string column; ///< empty: the table as a whole (Table1[#All])
    /// True when the replacement wrote this reference (the formula before did not have it).
    bool introduced = false;
};

/// The references formulas make, each table and column once (ignoring case) per kind.
class StructuredUses {
public:
    /// The references of formula (stored form). before: the formula it replaces, or nullptr
    /// when it does not change. References before did not have count as introduced; the
    /// others are kept only when keepExisting (when some table column may be renamed).
    void note(const std::string& where, std::string_view formula, const std::string_view* before,
              bool keepExisting);
    void add(const StructuredUses& other);
    const std::vector<StructuredUse>& uses() const { return m_uses; }

private:
    void keep(StructuredUse use);
    std::vector<StructuredUse> m_uses;
};

/// Errors: InvalidFormula (detail names the formula) when an introduced reference names a
/// table the workbook lacks or a column its table will not have, or an existing reference
/// names a column that the save renames.
Status checkStructuredReferences(const std::vector<StructuredUse>& uses,
                                 const std::vector<const Table*>& tables);

} // namespace engine::ooxml
