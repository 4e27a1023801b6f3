// Matching and replacement on one cell text (UTF-8): pure functions, no file formats.
// The ooxml and other format code calls these on the decoded text of a cell.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace engine::text {

/// A find text prepared once for many cells. "*", "?" and "~" are ordinary characters.
/// matchCase false: Unicode simple case folding on both sides (ASCII fast path);
/// true: exact code points. An empty find text matches nothing. Bytes that are not UTF-8
/// are opaque: each matches only the same byte, and a match never splits a character.
/// Simple folding maps one code point to one, so "ß" does not match "SS", "İ" does not match
/// "i", and the three sigma forms match each other. A const Matcher may be shared by threads;
/// a moved-from one matches nothing. wholeText: the only match is the whole input, when it
/// equals the find text under the same rule ("match entire cell contents").
class Matcher {
public:
    Matcher(std::string_view findUtf8, bool matchCase, bool wholeText = false);
    ~Matcher();
    Matcher(Matcher&&) noexcept;
    Matcher& operator=(Matcher&&) noexcept;
    Matcher(const Matcher&) = delete;
    Matcher& operator=(const Matcher&) = delete;

    /// Byte offsets [begin, end) in input of every match, left to right, without overlap.
    std::vector<std::pair<std::size_t, std::size_t>> findAll(std::string_view input) const;

    /// True when input holds at least one match (cheap pre-check before decoding a cell).
    bool contains(std::string_view input) const;

    /// Replaces every match; the inserted text is not searched again. Returns the number
    /// of replacements; out receives the result only when that number is not 0.
    std::size_t replaceAll(std::string_view input, std::string_view replacement,
                           std::string& out) const;

private:
    struct Impl;
    Impl* m_impl;
};

/// True when a and b hold the same characters under the same simple case folding as a Matcher
/// with matchCase false (for names compared ignoring case, such as table column names).
bool equalsIgnoringCase(std::string_view a, std::string_view b);

/// Rich text: the runs' texts in order. A match inside one run is replaced in that run; a
/// match spanning runs puts the replacement in the run where it starts and removes the
/// matched characters from the others. Returns nothing when there was no match; otherwise
/// one entry per input run: the new text, or nullopt for a run that the edit left empty
/// (it goes). Runs that were empty before keep their (empty) text.
struct RunsResult {
    std::vector<std::optional<std::string>> runs;
    std::size_t replacements = 0;
};
std::optional<RunsResult> replaceInRuns(const std::vector<std::string_view>& runs,
                                        const Matcher& matcher, std::string_view replacement);

/// Cell text of the file format with its _xHHHH_ escapes (ECMA-376 Part 1, 22.9.2.19 ST_Xstring)
/// decoded into characters: "_x", exactly four hex digits of either case, "_". Two escapes
/// holding a UTF-16 surrogate pair give one character; an unpaired surrogate is kept in its
/// three-byte form so that encodeEscapes writes the same escape back.
std::string decodeEscapes(std::string_view stored);
/// The reverse: characters that XML 1.0 cannot hold (controls other than TAB and LF, and CR)
/// become _xHHHH_, and a literal "_xHHHH_" in the text becomes "_x005F_xHHHH_".
/// decodeEscapes(encodeEscapes(s)) == s for every s that does not hold a high surrogate
/// directly followed by a low one in their three-byte forms (decodeEscapes never makes one;
/// such a pair comes back as the character it stands for). Bytes that are not UTF-8 are
/// copied as they are.
std::string encodeEscapes(std::string_view text);

/// The same two into a caller's buffer (cleared first), which keeps its capacity from cell to
/// cell. out must not alias the input.
void decodeEscapes(std::string_view stored, std::string& out);
void encodeEscapes(std::string_view text, std::string& out);

/// Length in UTF-16 code units, the unit of the 32,767-character cell limit. Each byte that
/// is not UTF-8 counts as one.
std::size_t utf16Length(std::string_view utf8);

/// The most characters (UTF-16 code units) a cell text may hold.
inline constexpr std::size_t kMaxCellTextLength = 32767;

/// True when a <t> element holding text needs xml:space="preserve" (ECMA-376 Part 1, 18.4.12,
/// W3C xml:space) so that no reader trims or collapses it: leading or trailing whitespace,
/// a tab, a line break (LF or CR) or two spaces in a row.
bool needsSpacePreserve(std::string_view text);

} // namespace engine::text
