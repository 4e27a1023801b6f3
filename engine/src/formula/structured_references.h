// The table and column names that a formula's structured references (Table1[Column]) name,
// so that a save can tell whether a formula still points at columns that exist.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace engine::formula {

struct StructuredName {
    std::string table;
    /// Column names as the table part stores them: the formula's escapes ('[, '], '#, '')
    /// removed. Special items (#This Row, #All ...) are not columns and are left out.
    std::vector<std::string> columns;
};

/// One entry per structured reference of formula (stored form) that names its table.
/// References without a table name ([@Column], only meaningful inside the table) and
/// references into other workbooks ([1]!Table1[Column]) are left out: they cannot be checked
/// against this workbook's tables.
std::vector<StructuredName> structuredReferences(std::string_view formula);

} // namespace engine::formula
