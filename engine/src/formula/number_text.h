// Numbers as the formula bar shows them, and the test whether a text reads as a plain number.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace engine::formula {

/// The text a number shows in the formula bar under the General format: at most 15 significant
/// digits, the shorter of fixed and exponent form as C's "%.15G" chooses it, exponent written
/// "E+20" / "E-05". -0 gives "0". Locale-independent (always "."). A value that is not finite
/// (which a workbook cannot hold) gives "#NUM!".
std::string generalText(double value);

/// The value of text when it reads as a plain number whose value a cell can hold exactly as
/// written: an optional "-", decimal digits with an optional "." part, an optional exponent
/// ("1E+20", "1e5"); at most 15 significant digits (more would be cut); no leading zero before
/// other digits ("007" would lose its zeros); no "+", spaces, thousands separators, currency
/// or percent signs; within Excel's range (no overflow, no underflow to 0). Trailing zeros of
/// a fraction ("1.50") only change how the number shows, so they are accepted; "-0" reads as
/// 0. Nothing otherwise: the result stays text.
std::optional<double> readPlainNumber(std::string_view text);

} // namespace engine::formula
