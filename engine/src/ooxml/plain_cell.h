// A cell in the form nearly every cell of a large sheet takes
// (<c r="B2" s="1" t="s"><f ...>formula</f><v>value</v></c>), read straight from the bytes. The
// sheet rewriter uses it to take a run of such cells in one step instead of as a handful of
// scanner events each; anything else goes the general way.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace engine::ooxml {

/// Offsets are into the bytes given to readPlainCell (which begin with "<c"); the texts are
/// decoded, and the attributes of the cell's start tag point into those bytes.
struct PlainCell {
    std::size_t tagEnd = 0; ///< of the start tag, or of the whole cell when it is empty
    bool empty = false;     ///< <c .../>
    std::string_view r, s, t;
    bool hasR = false, hasS = false, hasT = false;

    bool hasFormula = false;
    std::size_t formulaBegin = 0, formulaContentBegin = 0, formulaContentEnd = 0, formulaEnd = 0;
    std::string formulaType;  ///< the f element's t, or empty
    std::string formulaGroup; ///< its si, or empty
    bool formulaHasRef = false;
    std::string formula;

    bool hasValue = false;
    std::size_t valueBegin = 0, valueContentBegin = 0, valueContentEnd = 0, valueEnd = 0;
    std::string value;

    std::size_t endTagBegin = 0; ///< of </c>
    std::size_t end = 0;         ///< just after </c>
};

/// Reads `bytes` when they begin with a cell in this form, exactly: the start tag <c (no
/// prefix; no attribute but r, s and t, each at most once) ending in ">" or "/>"; an optional
/// <f (no attribute but t, si and ref, each at most once) either empty or with text and </f>;
/// an optional <v> with text and </v>; then </c>; with no space between them. Attributes stand
/// in double quotes after one space, with values of printable ASCII without "<" or "&"; every
/// text is printable ASCII, tab or line feed, with only the five predefined entities and no
/// "]]>". Such bytes are well-formed, so a reader that takes them gives what an XML parser
/// would. Returns false for anything else, including a cell that does not end within `bytes`;
/// `out` is then undefined.
bool readPlainCell(std::string_view bytes, PlainCell& out);

} // namespace engine::ooxml
