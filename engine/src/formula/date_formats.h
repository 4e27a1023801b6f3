// Whether a number format shows a number as a date or time (such numbers are not matched on
// their number text).
#pragma once

#include <optional>
#include <string_view>

namespace engine::formula {

/// True for the built-in number formats that show dates or times: 14-22, 45-47, and the
/// East Asian locale formats 27-36 and 50-58 (ECMA-376 Part 1, 18.8.30 numFmt).
bool isBuiltInDateFormat(int numFmtId);

/// True when a format code (styles.xml numFmt@formatCode) holds a date or time part in any
/// section: d, m, y, h, s, bb, AM/PM or A/P outside quotes, "\" or "_"/"*" escapes and brackets,
/// or an elapsed-time bracket such as [h] or [mm]. "General", "0.00", "0.00E+00", "[Red]0"
/// and "@" are not dates.
bool isDateFormatCode(std::string_view formatCode);

/// For a cell style's numFmtId and, when the workbook defines that id in its styles, the
/// format code: the code decides when given, else the built-in table.
bool isDateTimeFormat(int numFmtId, std::optional<std::string_view> formatCode);

} // namespace engine::formula
