// A sheet's queue applied to one stored formula, as the formula bar shows it, and the checks a
// changed formula passes before it is written. Shared by cell formulas and the formulas a
// table part keeps for its columns.
#pragma once

#include "rich_text.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace engine::ooxml {

/// Applies every request of queue to text in turn; returns the number of replacements.
/// scratch is working space, reused from call to call.
std::size_t applyQueue(const PreparedQueue& queue, std::string& text, std::string& scratch);

struct FormulaEdit {
    std::size_t replacements = 0;
    /// What the formula bar shows after the queue: "=" and the formula, or a constant.
    std::string shown;
    /// When shown is still a formula: its stored form, function prefixes restored.
    std::string stored;
};

/// The queue applied to "=" + stored, without the function prefixes the formula bar hides,
/// into edit (its strings keep their capacity from call to call). scratch as for applyQueue.
void editFormula(std::string_view stored, const PreparedQueue& queue, std::string& scratch,
                 FormulaEdit& edit);

/// What the formula bar shows for a stored formula: "=" and the formula without the function
/// prefixes the file keeps ("_xlfn.").
std::string shownFormula(std::string_view stored);

/// Nothing when a changed formula (stored form) can be written; otherwise the reason:
/// not well formed (see formula::checkWellFormed), or a control character, which formula
/// text has no escape for.
std::optional<std::string> formulaProblem(std::string_view stored);

/// Nothing when every sheet that a changed formula (stored form) names by a prefix is one of
/// sheets (compared as sheet names are, ignoring case), or was named by the formula before the
/// change too (a link the workbook already had is kept); otherwise the reason, naming the first
/// sheet that is missing. A spreadsheet program would take such a name for another workbook.
std::optional<std::string> missingSheetProblem(std::string_view stored, std::string_view before,
                                               const std::vector<std::string>& sheets);

/// Formula text escaped for element content; a carriage return is written as "&#13;", as
/// written as is it would be read back as a line feed.
std::string escapeFormulaText(std::string_view stored);

} // namespace engine::ooxml
