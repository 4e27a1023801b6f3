// BIFF8 strings: the UTF-16 units of a cell text, their UTF-8 form for matching, and the
// XLUnicodeString layout (MS-XLS 2.5.294) of LABEL and RSTRING cells.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace engine::xls {

std::string toUtf8(std::u16string_view units);
std::u16string toUtf16(std::string_view utf8);

/// True when every unit fits the 8-bit form (fHighByte = 0).
bool fitsCompressed(std::u16string_view units);

/// A formatting run (MS-XLS 2.5.132): font ifnt from character ich on.
struct FormatRun {
    std::uint16_t ich = 0;
    std::uint16_t ifnt = 0;
};

/// Reads an XLUnicodeString at data[at]; at moves past it. Nothing when it runs past the end.
std::optional<std::u16string> readUnicodeString(std::string_view data, std::size_t& at);
/// cch, flags and characters, in the 8-bit form when every character fits it.
void appendUnicodeString(std::string& out, std::u16string_view units);

/// The cell text split at its runs' starts: the text before the first run, then one piece per
/// run (runs out of order or past the end are ignored).
std::vector<std::u16string> splitAtRuns(std::u16string_view units,
                                        const std::vector<FormatRun>& runs);
/// The runs again after the pieces changed: each kept run starts where its piece now starts;
/// a piece that went (nullopt) drops its run, as do runs that would start at the end of the
/// text or at the same place as the next one.
struct RunsAfterEdit {
    std::u16string text;
    std::vector<FormatRun> runs;
};
RunsAfterEdit joinRuns(const std::vector<std::optional<std::string>>& pieces,
                       const std::vector<FormatRun>& runs);

} // namespace engine::xls
