// The formula as the formula bar shows it, without the _xlfn. / _xlws. / _xlpm. prefixes that
// the file stores on newer functions and LAMBDA parameters, and the way back.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace engine::formula {

/// A stored formula's text without prefixes, and which names carried which prefix.
struct FormulaView {
    std::string text; ///< what the formula bar shows (without "=")
    /// Name (upper case, ASCII letters) -> the prefix it carried, such as "_xlfn." or
    /// "_xlfn._xlws.". Empty when the formula had no prefix.
    std::vector<std::pair<std::string, std::string>> prefixes;
};

/// False when no name of stored can carry a prefix ("_xl" occurs nowhere, in any case): its
/// view is then the stored text itself.
bool mayHoldPrefix(std::string_view stored);

/// The view of a stored formula: the prefixes "_xlfn.", "_xlws." and "_xlpm." (any chain of
/// them, any case) are removed from function names and names. Strings, sheet names and
/// structured references are left alone.
FormulaView withoutFunctionPrefixes(std::string_view stored);

/// The stored form of an edited view: every function name or name that carried a prefix in
/// the original formula (compared ignoring case) gets that prefix back; a renamed function keeps
/// none, and a name that already has a prefix is left as it is. When the formula had no
/// prefix, editedView is returned as it is.
std::string restoreFunctionPrefixes(const FormulaView& original, std::string_view editedView);

} // namespace engine::formula
