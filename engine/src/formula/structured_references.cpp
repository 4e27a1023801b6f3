// Structured references: Table1[Column], Table1[[#This Row],[A]:[B]], Table1[@Column],
// Table1[@[Column name]], Table1[#All], Table1[].
#include "structured_references.h"

#include "formula_tokenizer.h"

namespace engine::formula {
namespace {

// Reads one bracketed item "[...]" at s[i] (s[i] == '['), unescaping "'x" to "x"; i ends after
// the closing bracket. False when the item does not close.
bool readBracketItem(std::string_view s, std::size_t& i, std::string& item) {
    item.clear();
    for (++i; i < s.size(); ++i) {
        if (s[i] == '\'' && i + 1 < s.size()) {
            item += s[++i];
        } else if (s[i] == ']') {
            ++i;
            return true;
        } else {
            item += s[i];
        }
    }
    return false;
}

// special: the item's first character as written is an unescaped "#" (#All, #This Row ...).
void addColumn(std::string item, bool special, StructuredName& name) {
    if (!item.empty() && !special) {
        name.columns.push_back(std::move(item));
    }
}

// The part inside the outer brackets: either a list of bracketed items separated by ",", ":",
// spaces and "@", or one bare item ("Column", "@Column", "#All").
bool readItems(std::string_view inner, StructuredName& name) {
    std::size_t i = 0;
    while (i < inner.size() && inner[i] == ' ') {
        ++i;
    }
    if (i < inner.size() && inner[i] == '@') {
        ++i; // this row of the column(s) that follow
    }
    if (i == inner.size()) {
        return true;
    }
    if (inner[i] != '[') {
        const bool special = inner[i] == '#';
        std::string item;
        for (; i < inner.size(); ++i) {
            if (inner[i] == '\'' && i + 1 < inner.size()) {
                ++i;
            }
            item += inner[i];
        }
        addColumn(std::move(item), special, name);
        return true;
    }
    std::string item;
    while (i < inner.size()) {
        const char c = inner[i];
        if (c == '[') {
            const bool special = i + 1 < inner.size() && inner[i + 1] == '#';
            if (!readBracketItem(inner, i, item)) {
                return false;
            }
            addColumn(item, special, name);
        } else if (c == ',' || c == ':' || c == ' ' || c == '@') {
            ++i;
        } else {
            return false;
        }
    }
    return true;
}

} // namespace

std::vector<StructuredName> structuredReferences(std::string_view formula) {
    std::vector<StructuredName> out;
    if (formula.find('[') == std::string_view::npos) {
        return out;
    }
    for (const Token& token : tokenize(formula)) {
        if (token.kind != TokenKind::StructuredReference || !token.closed) {
            continue;
        }
        const std::string_view text = formula.substr(token.offset, token.length);
        const std::size_t open = text.find('[');
        if (open == 0 || open == std::string_view::npos || text.back() != ']' ||
            text.substr(0, open).find('!') != std::string_view::npos) {
            continue;
        }
        StructuredName name;
        name.table = std::string(text.substr(0, open));
        if (readItems(text.substr(open + 1, text.size() - open - 2), name)) {
            out.push_back(std::move(name));
        }
    }
    return out;
}

} // namespace engine::formula
