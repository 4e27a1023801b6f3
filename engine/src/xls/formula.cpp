// Decompiling BIFF8 parsed formulas for matching, and rewriting their string literals.
#include "formula.h"

#include "bytes.h"
#include "formula/number_text.h"
#include "formula/references.h"
#include "function_table.h"
#include "unicode_string.h"

#include <map>

namespace engine::xls {
namespace {

// One operand on the decompiler's stack: its text and the literals inside it.
struct Expr {
    std::string text;
    std::vector<DecompiledFormula::Literal> literals;
    void append(const Expr& other) {
        for (auto lit : other.literals) {
            lit.begin += text.size();
            lit.end += text.size();
            literals.push_back(lit);
        }
        text += other.text;
    }
    void append(std::string_view s) { text += s; }
    void prepend(std::string_view s) {
        for (auto& lit : literals) {
            lit.begin += s.size();
            lit.end += s.size();
        }
        text.insert(0, s);
    }
};

const char* errorName(std::uint8_t code) {
    switch (code) {
    case 0x00:
        return "#NULL!";
    case 0x07:
        return "#DIV/0!";
    case 0x0F:
        return "#VALUE!";
    case 0x17:
        return "#REF!";
    case 0x1D:
        return "#NAME?";
    case 0x24:
        return "#NUM!";
    case 0x2A:
        return "#N/A";
    case 0x2B:
        return "#GETTING_DATA";
    default:
        return nullptr;
    }
}

std::string quoted(std::u16string_view text) {
    std::string out;
    for (char c : toUtf8(text)) {
        out.push_back(c);
        if (c == '"') {
            out.push_back('"');
        }
    }
    return out;
}

// The size of the token at rgce[at], or 0 when it is unknown or cut short.
std::size_t tokenSize(std::string_view rgce, std::size_t at) {
    const auto ptg = static_cast<unsigned char>(rgce[at]);
    const std::size_t left = rgce.size() - at;
    std::size_t size = 0;
    if (ptg < 0x20) {
        switch (ptg) {
        case 0x01:
        case 0x02:
            size = 5;
            break;
        case 0x17:
            if (left >= 3) {
                size = 3 + static_cast<unsigned char>(rgce[at + 1]) *
                               ((static_cast<unsigned char>(rgce[at + 2]) & 1) != 0 ? 2 : 1);
            }
            break;
        case 0x19:
            if (left >= 4 && static_cast<unsigned char>(rgce[at + 1]) == 0x04) {
                size = 4 + 2 * (std::size_t{load16(rgce.data() + at + 2)} + 1);
            } else {
                size = 4;
            }
            break;
        case 0x1C:
        case 0x1D:
            size = 2;
            break;
        case 0x1E:
            size = 3;
            break;
        case 0x1F:
            size = 9;
            break;
        default:
            size = ptg >= 0x03 && ptg <= 0x16 ? 1 : 0;
        }
    } else {
        static const std::map<int, std::size_t> kSizes = {
            {0x00, 8}, {0x01, 3}, {0x02, 4},  {0x03, 5}, {0x04, 5}, {0x05, 9}, {0x06, 7},
            {0x07, 7}, {0x08, 7}, {0x09, 3},  {0x0A, 5}, {0x0B, 9}, {0x0C, 5}, {0x0D, 9},
            {0x19, 7}, {0x1A, 7}, {0x1B, 11}, {0x1C, 7}, {0x1D, 11}};
        const auto it = kSizes.find(ptg & 0x1F);
        size = it == kSizes.end() ? 0 : it->second;
    }
    return size <= left ? size : 0;
}

bool isNameChar(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '.' || c >= 0x80;
}

// Sheet names as the formula bar writes them: quoted when they hold anything but letters,
// digits, "_" and ".", begin with a digit, or could be read as a cell reference.
bool needsQuotes(std::string_view name) {
    if (name.empty() || (name[0] >= '0' && name[0] <= '9')) {
        return true;
    }
    for (char c : name) {
        if (!isNameChar(static_cast<unsigned char>(c))) {
            return true;
        }
    }
    std::size_t letters = 0;
    while (letters < name.size() && ((name[letters] >= 'A' && name[letters] <= 'Z') ||
                                     (name[letters] >= 'a' && name[letters] <= 'z'))) {
        ++letters;
    }
    std::size_t digits = letters;
    while (digits < name.size() && name[digits] >= '0' && name[digits] <= '9') {
        ++digits;
    }
    if (letters > 0 && letters <= 3 && digits > letters && digits == name.size()) {
        return true; // A1, XFD100
    }
    const char first = static_cast<char>(name[0] & ~0x20);
    return (first == 'R' || first == 'C') &&
           name.find_first_not_of("RrCc0123456789") == std::string_view::npos;
}

std::string quotedPath(const std::string& path) {
    std::string out = "'";
    for (char c : path) {
        out.push_back(c);
        if (c == '\'') {
            out.push_back('\'');
        }
    }
    return out + "'";
}

std::string sheetPrefix(std::string first, const std::string& last) {
    std::string both = first == last ? first : first + ":" + last;
    if (!needsQuotes(first) && !needsQuotes(last)) {
        return both + "!";
    }
    std::string out = "'";
    for (char c : both) {
        out.push_back(c);
        if (c == '\'') {
            out.push_back('\'');
        }
    }
    return out + "'!";
}

class Decompiler {
public:
    Decompiler(std::string_view rgce, std::string_view rgcb, const FormulaNames& names,
               std::uint16_t row, std::uint16_t col)
        : m_rgce(rgce), m_rgcb(rgcb), m_names(names), m_row(row), m_col(col) {}

    std::optional<DecompiledFormula> run() {
        for (std::size_t at = 0; at < m_rgce.size();) {
            const std::size_t size = tokenSize(m_rgce, at);
            if (size == 0 || !token(at)) {
                return std::nullopt;
            }
            at += size;
        }
        if (m_stack.size() != 1) {
            return std::nullopt;
        }
        DecompiledFormula out;
        out.text = std::move(m_stack[0].text);
        out.literals = std::move(m_stack[0].literals);
        return out;
    }

private:
    std::string spaces(bool before) {
        std::string s;
        for (auto it = m_spaces.begin(); it != m_spaces.end();) {
            const bool matches = before ? it->first <= 1 || it->first == 6 : it->first >= 4;
            if (matches) {
                s.append(it->second, it->first % 2 == 1 ? '\r' : ' ');
                it = m_spaces.erase(it);
            } else {
                ++it;
            }
        }
        return s;
    }
    std::string openSpaces() {
        std::string s;
        for (auto it = m_spaces.begin(); it != m_spaces.end();) {
            if (it->first == 2 || it->first == 3) {
                s.append(it->second, it->first == 3 ? '\r' : ' ');
                it = m_spaces.erase(it);
            } else {
                ++it;
            }
        }
        return s;
    }

    void push(std::string text) {
        Expr e;
        e.text = spaces(true) + std::move(text);
        m_stack.push_back(std::move(e));
    }
    bool pop(std::size_t n, std::vector<Expr>& out) {
        if (m_stack.size() < n) {
            return false;
        }
        out.assign(std::make_move_iterator(m_stack.end() - static_cast<long>(n)),
                   std::make_move_iterator(m_stack.end()));
        m_stack.resize(m_stack.size() - n);
        return true;
    }

    std::string cellText(std::uint16_t rw, std::uint16_t colField, bool relativeBase) const {
        const bool colRel = (colField & 0x4000) != 0;
        const bool rowRel = (colField & 0x8000) != 0;
        std::int64_t r = rw;
        std::int64_t c = colField & 0x3FFF;
        if (relativeBase) {
            if (rowRel) {
                r = (m_row + static_cast<std::int16_t>(rw)) & 0xFFFF;
            }
            if (colRel) {
                c = (m_col + static_cast<std::int8_t>(colField & 0xFF)) & 0xFF;
            }
        }
        return std::string(colRel ? "" : "$") + formula::columnName(c + 1) + (rowRel ? "" : "$") +
               std::to_string(r + 1);
    }
    std::string areaText(const char* p, bool relativeBase) const {
        const std::uint16_t r1 = load16(p), r2 = load16(p + 2), c1 = load16(p + 4),
                            c2 = load16(p + 6);
        if (!relativeBase && r1 == 0 && r2 == 0xFFFF) {
            return std::string((c1 & 0x4000) ? "" : "$") + formula::columnName((c1 & 0x3FFF) + 1) +
                   ":" + ((c2 & 0x4000) ? "" : "$") + formula::columnName((c2 & 0x3FFF) + 1);
        }
        if (!relativeBase && (c1 & 0x3FFF) == 0 && (c2 & 0x3FFF) == 0xFF) {
            return std::string((c1 & 0x8000) ? "" : "$") + std::to_string(r1 + 1) + ":" +
                   ((c2 & 0x8000) ? "" : "$") + std::to_string(r2 + 1);
        }
        return cellText(r1, c1, relativeBase) + ":" + cellText(r2, c2, relativeBase);
    }
    std::optional<std::string> sheetsOf(std::uint16_t ixti) const {
        if (ixti >= m_names.xti.size()) {
            return std::nullopt;
        }
        const auto& x = m_names.xti[ixti];
        if (x.supBook >= m_names.supBooks.size()) {
            return std::nullopt;
        }
        const auto& book = m_names.supBooks[x.supBook];
        if (x.first == 0xFFFF || x.first == 0xFFFE || x.last == 0xFFFF || x.last == 0xFFFE) {
            return std::string("#REF!");
        }
        const auto& list = book.kind == FormulaNames::SupBook::Self ? m_names.sheets : book.sheets;
        if (x.first >= list.size() || x.last >= list.size()) {
            return std::nullopt;
        }
        if (book.kind == FormulaNames::SupBook::Self) {
            return sheetPrefix(list[x.first], list[x.last]);
        }
        // Another workbook: 'C:\dir\[Book.xls]Sheet1'!A1, as the formula bar shows a link to
        // a closed workbook.
        if (book.kind != FormulaNames::SupBook::External || x.first != x.last) {
            return std::nullopt;
        }
        const std::size_t slash = book.path.find_last_of('\\');
        const std::string folder = slash == std::string::npos ? "" : book.path.substr(0, slash + 1);
        const std::string file = book.path.substr(folder.size());
        const std::string name = "[" + file + "]" + list[x.first];
        if (folder.empty() && !needsQuotes(file) && !needsQuotes(list[x.first])) {
            return name + "!";
        }
        std::string out = "'";
        for (char c : folder + name) {
            out.push_back(c);
            if (c == '\'') {
                out.push_back('\'');
            }
        }
        return out + "'!";
    }
    std::optional<std::string> externName(std::uint16_t ixti, std::uint16_t index) const {
        if (ixti >= m_names.xti.size() || m_names.xti[ixti].supBook >= m_names.supBooks.size()) {
            return std::nullopt;
        }
        const auto& book = m_names.supBooks[m_names.xti[ixti].supBook];
        if (book.kind == FormulaNames::SupBook::Self) {
            if (index == 0 || index > m_names.names.size()) {
                return std::nullopt;
            }
            return m_names.names[index - 1];
        }
        if (index == 0 || index > book.externNames.size()) {
            return std::nullopt;
        }
        if (book.kind == FormulaNames::SupBook::External) {
            // A name in another workbook: 'C:\dir\Book.xls'!Name, or Book.xls!Name.
            const std::string& name = book.externNames[index - 1];
            const bool plain = book.path.find_first_of("\\ '[]") == std::string::npos;
            return (plain ? book.path : quotedPath(book.path)) + "!" + name;
        }
        std::string name = book.externNames[index - 1];
        for (std::string_view prefix : {"_xlfn.", "_xlws."}) {
            while (name.starts_with(prefix)) {
                name.erase(0, prefix.size());
            }
        }
        return name;
    }

    bool function(std::string name, std::size_t count) {
        std::vector<Expr> args;
        if (!pop(count, args)) {
            return false;
        }
        Expr e;
        e.text = spaces(true) + name + openSpaces() + "(";
        for (std::size_t i = 0; i < args.size(); ++i) {
            if (i > 0) {
                e.append(",");
            }
            e.append(args[i]);
        }
        e.append(spaces(false) + ")");
        m_stack.push_back(std::move(e));
        return true;
    }

    bool token(std::size_t at) {
        const char* p = m_rgce.data() + at;
        const auto ptg = static_cast<unsigned char>(p[0]);
        static const char* const kBinary[] = {
            "+", "-", "*", "/", "^", "&", "<", "<=", "=", ">=", ">", "<>", " ", ",", ":"};
        if (ptg >= 0x03 && ptg <= 0x11) {
            std::vector<Expr> args;
            if (!pop(2, args)) {
                return false;
            }
            args[0].append(spaces(true) + kBinary[ptg - 0x03]);
            args[0].append(args[1]);
            m_stack.push_back(std::move(args[0]));
            return true;
        }
        switch (ptg) {
        case 0x12:
        case 0x13: {
            if (m_stack.empty()) {
                return false;
            }
            m_stack.back().prepend(spaces(true) + (ptg == 0x12 ? "+" : "-"));
            return true;
        }
        case 0x14:
            if (m_stack.empty()) {
                return false;
            }
            m_stack.back().append(spaces(true) + "%");
            return true;
        case 0x15: {
            if (m_stack.empty()) {
                return false;
            }
            const std::string before = spaces(true) + openSpaces();
            m_stack.back().prepend(before + "(");
            m_stack.back().append(spaces(false) + ")");
            return true;
        }
        case 0x16:
            push("");
            return true;
        case 0x17: {
            std::string_view s = m_rgce.substr(at + 1);
            // ShortXLUnicodeString: cch is one byte.
            const std::size_t cch = static_cast<unsigned char>(s[0]);
            const bool high = (static_cast<unsigned char>(s[1]) & 1) != 0;
            std::u16string units;
            for (std::size_t i = 0; i < cch; ++i) {
                units.push_back(high ? static_cast<char16_t>(load16(s.data() + 2 + 2 * i))
                                     : static_cast<char16_t>(static_cast<unsigned char>(s[2 + i])));
            }
            Expr e;
            e.text = spaces(true) + "\"";
            const std::string content = quoted(units);
            e.literals.push_back({at, e.text.size(), e.text.size() + content.size()});
            e.text += content + "\"";
            m_stack.push_back(std::move(e));
            return true;
        }
        case 0x19:
            return attribute(p);
        case 0x1C: {
            const char* name = errorName(static_cast<std::uint8_t>(p[1]));
            if (name == nullptr) {
                return false;
            }
            push(name);
            return true;
        }
        case 0x1D:
            push(p[1] != 0 ? "TRUE" : "FALSE");
            return true;
        case 0x1E:
            push(std::to_string(load16(p + 1)));
            return true;
        case 0x1F:
            push(formula::generalText(loadDouble(p + 1)));
            return true;
        default:
            break;
        }
        if (ptg < 0x20) {
            return false; // PtgExp and PtgTbl are handled by the caller; the rest are unknown
        }
        switch (ptg & 0x1F) {
        case 0x00:
            return arrayConstant();
        case 0x01: {
            const auto* f = builtInFunction(load16(p + 1));
            return f != nullptr && f->fixedArguments >= 0 &&
                   function(f->name, static_cast<std::size_t>(f->fixedArguments));
        }
        case 0x02: {
            const std::size_t count = static_cast<unsigned char>(p[1]);
            const std::uint16_t tab = load16(p + 2);
            if ((tab & 0x8000) != 0) {
                return false; // a macro command
            }
            if (tab == 255) { // a user-defined or add-in function: its name is the first argument
                std::vector<Expr> args;
                if (count == 0 || !pop(count, args)) {
                    return false;
                }
                Expr name = std::move(args[0]);
                for (std::size_t i = 1; i < args.size(); ++i) {
                    m_stack.push_back(std::move(args[i]));
                }
                return function(name.text, count - 1);
            }
            const auto* f = builtInFunction(tab);
            return f != nullptr && function(f->name, count);
        }
        case 0x03: {
            const std::uint32_t index = load32(p + 1);
            if (index == 0 || index > m_names.names.size()) {
                return false;
            }
            push(m_names.names[index - 1]);
            return true;
        }
        case 0x04:
            push(cellText(load16(p + 1), load16(p + 3), false));
            return true;
        case 0x05:
            push(areaText(p + 1, false));
            return true;
        case 0x06:
            return skipExtraMemory();
        case 0x07:
        case 0x08:
        case 0x09:
            return true; // the subexpression that follows gives the value
        case 0x0A:
        case 0x0B:
            push("#REF!");
            return true;
        case 0x0C:
            push(cellText(load16(p + 1), load16(p + 3), true));
            return true;
        case 0x0D:
            push(areaText(p + 1, true));
            return true;
        case 0x19: {
            auto name = externName(load16(p + 1), load16(p + 3));
            if (!name) {
                return false;
            }
            push(*name);
            return true;
        }
        case 0x1A:
        case 0x1B:
        case 0x1C:
        case 0x1D: {
            auto sheets = sheetsOf(load16(p + 1));
            if (!sheets) {
                return false;
            }
            if (*sheets == "#REF!" || (ptg & 0x1F) >= 0x1C) {
                push(*sheets == "#REF!" ? std::string("#REF!") : *sheets + "#REF!");
                return true;
            }
            push(*sheets + ((ptg & 0x1F) == 0x1A ? cellText(load16(p + 3), load16(p + 5), false)
                                                 : areaText(p + 3, false)));
            return true;
        }
        default:
            return false;
        }
    }

    bool attribute(const char* p) {
        const auto type = static_cast<unsigned char>(p[1]);
        if (type == 0x40 || type == 0x41) {
            m_spaces.emplace_back(static_cast<unsigned char>(p[2]),
                                  static_cast<unsigned char>(p[3]));
            return true;
        }
        if (type == 0x10) {
            return function("SUM", 1);
        }
        return true; // volatile, IF, CHOOSE, GOTO: jumps for evaluation only
    }

    bool skipExtraMemory() {
        if (m_rgcbAt + 2 > m_rgcb.size()) {
            return false;
        }
        const std::size_t count = load16(m_rgcb.data() + m_rgcbAt);
        m_rgcbAt += 2 + 8 * count;
        return m_rgcbAt <= m_rgcb.size();
    }

    bool arrayConstant() {
        if (m_rgcbAt + 3 > m_rgcb.size()) {
            return false;
        }
        const std::size_t cols = static_cast<unsigned char>(m_rgcb[m_rgcbAt]) + 1;
        const std::size_t rows = std::size_t{load16(m_rgcb.data() + m_rgcbAt + 1)} + 1;
        m_rgcbAt += 3;
        std::string text = "{";
        for (std::size_t r = 0; r < rows; ++r) {
            for (std::size_t c = 0; c < cols; ++c) {
                if (c > 0) {
                    text += ",";
                } else if (r > 0) {
                    text += ";";
                }
                if (m_rgcbAt >= m_rgcb.size()) {
                    return false;
                }
                const auto type = static_cast<unsigned char>(m_rgcb[m_rgcbAt++]);
                if (type == 0x02) {
                    auto units = readUnicodeString(m_rgcb, m_rgcbAt);
                    if (!units) {
                        return false;
                    }
                    text += "\"" + quoted(*units) + "\"";
                    continue;
                }
                if (m_rgcbAt + 8 > m_rgcb.size()) {
                    return false;
                }
                const char* v = m_rgcb.data() + m_rgcbAt;
                m_rgcbAt += 8;
                if (type == 0x01) {
                    text += formula::generalText(loadDouble(v));
                } else if (type == 0x04) {
                    text += v[0] != 0 ? "TRUE" : "FALSE";
                } else if (type == 0x10) {
                    const char* name = errorName(static_cast<std::uint8_t>(v[0]));
                    if (name == nullptr) {
                        return false;
                    }
                    text += name;
                } else if (type != 0x00) {
                    return false;
                }
            }
        }
        push(text + "}");
        return true;
    }

    std::string_view m_rgce, m_rgcb;
    std::size_t m_rgcbAt = 0;
    const FormulaNames& m_names;
    std::uint16_t m_row, m_col;
    std::vector<Expr> m_stack;
    std::vector<std::pair<unsigned, std::size_t>> m_spaces; // pending PtgAttrSpace: type, count
};

} // namespace

std::optional<DecompiledFormula> decompileFormula(std::string_view rgce, std::string_view rgcb,
                                                  const FormulaNames& names, std::uint16_t row,
                                                  std::uint16_t col) {
    return Decompiler(rgce, rgcb, names, row, col).run();
}

std::optional<std::string>
replaceLiterals(std::string_view rgce,
                const std::vector<std::pair<std::size_t, std::u16string>>& literals) {
    std::map<std::size_t, const std::u16string*> changes;
    for (const auto& [offset, text] : literals) {
        if (text.size() > 255) {
            return std::nullopt;
        }
        changes[offset] = &text;
    }
    // Old token offset -> size change of the token there, to move jumps.
    std::map<std::size_t, long> deltas;
    std::string out;
    std::vector<std::size_t> jumps; // offsets of IF, CHOOSE and GOTO attributes (old and new)
    std::vector<std::size_t> newJumps;
    for (std::size_t at = 0; at < rgce.size();) {
        const std::size_t size = tokenSize(rgce, at);
        if (size == 0) {
            return std::nullopt;
        }
        const auto it = changes.find(at);
        if (it != changes.end() && rgce[at] == 0x17) {
            std::string token(1, '\x17');
            const std::u16string& units = *it->second;
            const bool compressed = fitsCompressed(units);
            token.push_back(static_cast<char>(units.size()));
            token.push_back(compressed ? '\0' : '\1');
            for (char16_t u : units) {
                if (compressed) {
                    token.push_back(static_cast<char>(u));
                } else {
                    append16(token, u);
                }
            }
            deltas[at] = static_cast<long>(token.size()) - static_cast<long>(size);
            out += token;
        } else {
            if (rgce[at] == 0x19 && (static_cast<unsigned char>(rgce[at + 1]) & 0x0E) != 0 &&
                static_cast<unsigned char>(rgce[at + 1]) < 0x10) {
                jumps.push_back(at);
                newJumps.push_back(out.size());
            }
            out.append(rgce.substr(at, size));
        }
        at += size;
    }
    // Where an old offset lies after the changes: each changed literal before it moves it.
    const auto moved = [&](std::size_t old) {
        long shift = 0;
        for (const auto& [offset, delta] : deltas) {
            if (offset < old) {
                shift += delta;
            }
        }
        return static_cast<std::size_t>(static_cast<long>(old) + shift);
    };
    for (std::size_t k = 0; k < jumps.size(); ++k) {
        const std::size_t at = jumps[k];
        char* p = out.data() + newJumps[k];
        const auto type = static_cast<unsigned char>(rgce[at + 1]);
        if (type == 0x02 || type == 0x08) { // IF: from its end; GOTO: from its end, less one
            const std::size_t from = at + 4;
            const std::size_t extra = type == 0x08 ? 1 : 0;
            const std::size_t to = from + load16(rgce.data() + at + 2) + extra;
            store16(p + 2, static_cast<std::uint16_t>(moved(to) - moved(from) - extra));
        } else if (type == 0x04) { // CHOOSE: each entry from the start of the table
            const std::size_t count = std::size_t{load16(rgce.data() + at + 2)} + 1;
            const std::size_t from = at + 4;
            for (std::size_t i = 0; i < count; ++i) {
                const std::size_t to = from + load16(rgce.data() + at + 4 + 2 * i);
                store16(p + 4 + 2 * i, static_cast<std::uint16_t>(moved(to) - moved(from)));
            }
        }
    }
    return out;
}

} // namespace engine::xls
