#include "plain_cell.h"

#include <array>
#include <cstring>

namespace engine::ooxml {
namespace {

bool startsWith(std::string_view bytes, std::size_t at, std::string_view what) {
    return at <= bytes.size() && bytes.size() - at >= what.size() &&
           std::memcmp(bytes.data() + at, what.data(), what.size()) == 0;
}

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The bytes that text takes as they are: printable ASCII but "<", "&" and ">", and tab and
// line feed. Carriage returns (which a parser normalises), other control characters (not
// allowed) and anything beyond ASCII (to be checked as UTF-8) are left to the general way.
constexpr std::array<bool, 256> kPlainText = [] {
    std::array<bool, 256> plain{};
    for (int c = 0x20; c <= 0x7E; ++c) {
        plain[static_cast<std::size_t>(c)] = c != '<' && c != '&' && c != '>';
    }
    plain['\t'] = plain['\n'] = true;
    return plain;
}();

// Text up to the next "<", decoded into out; at is left on the "<". False for a character this
// reader does not take, an entity other than the five predefined ones, "]]>", or no "<"
// within the bytes.
bool readText(std::string_view bytes, std::size_t& at, std::string& out) {
    static constexpr std::array<std::pair<std::string_view, char>, 5> kEntities = {
        {{"&quot;", '"'}, {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&apos;", '\''}}};
    out.clear();
    std::size_t from = at;
    std::size_t i = at;
    while (true) {
        while (i < bytes.size() && kPlainText[static_cast<unsigned char>(bytes[i])]) {
            ++i;
        }
        if (i >= bytes.size()) {
            return false;
        }
        const char c = bytes[i];
        if (c == '<') {
            out.append(bytes, from, i - from);
            at = i;
            return true;
        }
        if (c == '>') {
            if (i >= at + 2 && bytes[i - 1] == ']' && bytes[i - 2] == ']') {
                return false; // "]]>" may not stand in text
            }
            ++i;
            continue;
        }
        if (c != '&') {
            return false;
        }
        out.append(bytes, from, i - from);
        bool known = false;
        for (const auto& [entity, character] : kEntities) {
            if (startsWith(bytes, i, entity)) {
                out += character;
                i += entity.size();
                known = true;
                break;
            }
        }
        if (!known) {
            return false;
        }
        from = i;
    }
}

// The attributes of a start tag from at (just after its name) through ">" or "/>": each one
// must be one of `names`, at most once; found[i] and values[i] tell whether and how names[i]
// was given.
template <std::size_t N>
bool readAttributes(std::string_view bytes, std::size_t& at,
                    const std::array<std::string_view, N>& names, std::array<bool, N>& found,
                    std::array<std::string_view, N>& values, bool& empty) {
    found.fill(false);
    while (true) {
        if (at >= bytes.size()) {
            return false;
        }
        if (bytes[at] == '>') {
            at += 1;
            empty = false;
            return true;
        }
        if (startsWith(bytes, at, "/>")) {
            at += 2;
            empty = true;
            return true;
        }
        if (bytes[at] != ' ') {
            return false;
        }
        ++at;
        const std::size_t nameBegin = at;
        while (at < bytes.size() && isLetter(bytes[at])) {
            ++at;
        }
        const std::string_view name = bytes.substr(nameBegin, at - nameBegin);
        if (!startsWith(bytes, at, "=\"")) {
            return false;
        }
        // Other attributes (ca, cm, vm, ...) and a name given twice (malformed, which the
        // general way reports) are left to the general way.
        std::size_t which = N;
        for (std::size_t i = 0; i < N; ++i) {
            if (name == names[i]) {
                which = i;
            }
        }
        if (which == N || found[which]) {
            return false;
        }
        at += 2;
        const std::size_t valueBegin = at;
        while (at < bytes.size() && bytes[at] != '"') {
            const char c = bytes[at];
            if (c < 0x20 || c > 0x7E || c == '<' || c == '&') {
                return false;
            }
            ++at;
        }
        if (at >= bytes.size()) {
            return false;
        }
        found[which] = true;
        values[which] = bytes.substr(valueBegin, at - valueBegin);
        ++at; // the closing quote
    }
}

} // namespace

bool readPlainCell(std::string_view bytes, PlainCell& out) {
    static constexpr std::array<std::string_view, 3> kCellAttributes = {"r", "s", "t"};
    static constexpr std::array<std::string_view, 3> kFormulaAttributes = {"t", "si", "ref"};
    std::array<bool, 3> found{};
    std::array<std::string_view, 3> values{};
    if (!startsWith(bytes, 0, "<c") || bytes.size() < 3 ||
        (bytes[2] != ' ' && bytes[2] != '>' && bytes[2] != '/')) {
        return false;
    }
    std::size_t at = 2;
    if (!readAttributes(bytes, at, kCellAttributes, found, values, out.empty)) {
        return false;
    }
    out.tagEnd = at;
    out.hasR = found[0];
    out.r = values[0];
    out.hasS = found[1];
    out.s = values[1];
    out.hasT = found[2];
    out.t = values[2];
    out.hasFormula = false;
    out.formulaHasRef = false;
    out.hasValue = false;
    if (out.empty) {
        out.endTagBegin = out.end = at;
        return true;
    }
    if (startsWith(bytes, at, "<f") && at + 2 < bytes.size() &&
        (bytes[at + 2] == ' ' || bytes[at + 2] == '>' || bytes[at + 2] == '/')) {
        out.hasFormula = true;
        out.formulaBegin = at;
        at += 2;
        bool empty = false;
        if (!readAttributes(bytes, at, kFormulaAttributes, found, values, empty)) {
            return false;
        }
        out.formulaType.assign(found[0] ? values[0] : std::string_view());
        out.formulaGroup.assign(found[1] ? values[1] : std::string_view());
        out.formulaHasRef = found[2];
        out.formulaContentBegin = at;
        out.formula.clear();
        if (!empty) {
            if (!readText(bytes, at, out.formula) || !startsWith(bytes, at, "</f>")) {
                return false;
            }
            out.formulaContentEnd = at;
            at += 4;
        } else {
            out.formulaContentEnd = at;
        }
        out.formulaEnd = at;
    }
    if (startsWith(bytes, at, "<v>")) {
        out.hasValue = true;
        out.valueBegin = at;
        at += 3;
        out.valueContentBegin = at;
        if (!readText(bytes, at, out.value) || !startsWith(bytes, at, "</v>")) {
            return false;
        }
        out.valueContentEnd = at;
        at += 4;
        out.valueEnd = at;
    }
    if (!startsWith(bytes, at, "</c>")) {
        return false;
    }
    out.endTagBegin = at;
    out.end = at + 4;
    return true;
}

} // namespace engine::ooxml
