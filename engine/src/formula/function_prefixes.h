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

/// The prefix the file needs on a call of a function that Excel added after the original file
/// format ("_xlfn." for XLOOKUP, "_xlfn._xlws." for FILTER and SORT); empty for any other
/// name. name is as written, without a prefix, in any case. LET and LAMBDA are not among them:
/// their parameters need prefixes too.
std::string_view futureFunctionPrefix(std::string_view name);

/// Whether a replacement text can make or complete the name of such a function in a formula:
/// it is empty (joining the text around it), or it shares characters with the end or the start
/// of a name followed by "(". A cheap test, made once per request, that spares most edits the
/// look for new calls.
bool mayFormFutureFunction(std::string_view replacement);

/// stored (an edited formula, prefixes restored) with the prefix added to every call of a
/// future function that is written without one and that before (the formula as it was) did
/// not call: a call a replacement made. Calls that were already there are left as they are.
std::string prefixNewFutureFunctions(std::string_view before, std::string_view stored);

} // namespace engine::formula
