// Reading each cell of a sheet substream as the formula bar shows it, and writing the records
// that replace a changed one.
#include "cells.h"

#include "bytes.h"
#include "formula/date_formats.h"
#include "formula/number_text.h"
#include "formula/references.h"
#include "text/text_replace.h"
#include "unicode_string.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <map>
#include <optional>

namespace engine::xls {
namespace {

// BIFF8 error codes (MS-XLS 2.5.97 BErr) and their texts.
constexpr std::array<std::pair<std::uint8_t, std::string_view>, 8> kErrors = {
    {{0x00, "#NULL!"},
     {0x07, "#DIV/0!"},
     {0x0F, "#VALUE!"},
     {0x17, "#REF!"},
     {0x1D, "#NAME?"},
     {0x24, "#NUM!"},
     {0x2A, "#N/A"},
     {0x2B, "#GETTING_DATA"}}};

struct Prepared {
    text::Matcher matcher;
    std::string replacement;
    bool wholeCell = false;
};

std::vector<Prepared> prepare(const std::vector<ReplaceRequest>& queue) {
    std::vector<Prepared> out;
    out.reserve(queue.size());
    for (const auto& r : queue) {
        out.push_back({text::Matcher(r.find, r.matchCase), r.replacement, r.wholeCell});
    }
    return out;
}

bool wholeMatch(const text::Matcher& matcher, std::string_view text) {
    const auto matches = matcher.findAll(text);
    return matches.size() == 1 && matches[0].first == 0 && matches[0].second == text.size();
}

std::string joined(const std::vector<std::optional<std::string>>& pieces) {
    std::string out;
    for (const auto& p : pieces) {
        if (p) {
            out += *p;
        }
    }
    return out;
}

// A queue applied to a text in pieces (its formatting runs), one request after the other.
struct Outcome {
    std::vector<std::optional<std::string>> pieces;
    std::size_t replacements = 0;
    bool changed = false;
    std::string text() const { return joined(pieces); }
};

Outcome applyQueue(const std::vector<Prepared>& queue, const std::vector<std::string>& pieces) {
    Outcome out;
    out.pieces.resize(pieces.size());
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        out.pieces[i] = pieces[i];
    }
    std::vector<std::size_t> alive;
    std::vector<std::string_view> views;
    for (const Prepared& request : queue) {
        alive.clear();
        views.clear();
        for (std::size_t i = 0; i < out.pieces.size(); ++i) {
            if (out.pieces[i]) {
                alive.push_back(i);
                views.emplace_back(*out.pieces[i]);
            }
        }
        if (request.wholeCell && !wholeMatch(request.matcher, joined(out.pieces))) {
            continue;
        }
        auto result = text::replaceInRuns(views, request.matcher, request.replacement);
        if (!result) {
            continue;
        }
        out.replacements += result->replacements;
        std::vector<std::optional<std::string>> next = out.pieces;
        for (std::size_t k = 0; k < alive.size(); ++k) {
            next[alive[k]] = std::move(result->runs[k]);
        }
        out.pieces = std::move(next);
    }
    for (std::size_t i = 0; i < pieces.size() && !out.changed; ++i) {
        out.changed = !out.pieces[i] || *out.pieces[i] != pieces[i];
    }
    return out;
}

std::string cellName(std::uint16_t row, std::uint16_t col) {
    return formula::formatCellAddress({std::int64_t{row} + 1, std::int64_t{col} + 1});
}

double rkValue(std::uint32_t rk) {
    double value = 0;
    if ((rk & 0x02) != 0) {
        value = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
    } else {
        const std::uint64_t bits = static_cast<std::uint64_t>(rk & 0xFFFFFFFC) << 32;
        std::memcpy(&value, &bits, sizeof value);
    }
    return (rk & 0x01) != 0 ? value / 100 : value;
}

std::string cellHeader(std::uint16_t row, std::uint16_t col, std::uint16_t xf) {
    std::string data;
    append16(data, row);
    append16(data, col);
    append16(data, xf);
    return data;
}

enum class Kind { Sst, Label, RString, Number, BoolErr, Formula };

struct Cell {
    std::size_t record = 0;
    std::size_t slot = 0; // within a MULRK
    Kind kind = Kind::Label;
    std::uint16_t row = 0, col = 0, xf = 0;
    std::vector<std::string> pieces; // the text, split at its formatting runs
    std::vector<FormatRun> runs;
    std::uint32_t isst = 0;
    // Formulas: where the tokens are, and what they say.
    std::size_t tokenRecord = 0; // the FORMULA, SHRFMLA or ARRAY record holding them
    std::size_t tokenOffset = 0; // of rgce in that record's data
    std::uint16_t cce = 0;
    bool shared = false;
    DecompiledFormula formula;
    std::string text() const {
        std::string out;
        for (const auto& p : pieces) {
            out += p;
        }
        return out;
    }
};

} // namespace

struct SheetCells::Impl {
    const Globals& g;
    std::size_t sheet;
    const std::string& sheetName;
    bool protectedSheet = false;
    std::map<std::uint32_t, std::size_t> sharedFormulas; // anchor row << 16 | col -> SHRFMLA
    std::map<std::uint32_t, std::size_t> arrayFormulas;  // anchor -> ARRAY

    Impl(const Globals& globals, std::size_t s)
        : g(globals), sheet(s), sheetName(globals.sheets[s].name) {
        const auto& range = g.ranges[sheet];
        int depth = 0;
        for (std::size_t i = range.first; i < range.end; ++i) {
            const Record& r = g.records[i];
            if (r.type == rt::kBof) {
                ++depth;
            } else if (r.type == rt::kEof) {
                --depth;
            } else if (depth == 1) {
                const std::string_view d = g.data(i);
                if (r.type == rt::kProtect && d.size() >= 2 && load16(d.data()) != 0) {
                    protectedSheet = true;
                } else if ((r.type == rt::kShrFmla || r.type == rt::kArray) && d.size() >= 6) {
                    // The cells' PtgExp names the FORMULA record that the range's record
                    // follows, which need not be the range's top-left cell.
                    auto& map = r.type == rt::kShrFmla ? sharedFormulas : arrayFormulas;
                    map[(std::uint32_t{load16(d.data())} << 16) |
                        static_cast<unsigned char>(d[4])] = i;
                    for (std::size_t k = i; k-- > range.first;) {
                        if (g.records[k].type == rt::kFormula && g.records[k].size >= 4) {
                            const std::string_view f = g.data(k);
                            map[(std::uint32_t{load16(f.data())} << 16) | load16(f.data() + 2)] = i;
                            break;
                        }
                        if (g.records[k].type != rt::kString) {
                            break;
                        }
                    }
                }
            }
        }
    }

    std::string where(const Cell& c) const { return sheetName + "!" + cellName(c.row, c.col); }

    bool isDate(std::uint16_t xf) const {
        if (xf >= g.xfs.size()) {
            return false;
        }
        const std::uint16_t format = g.xfs[xf].format;
        const auto it = g.formats.find(format);
        return formula::isDateTimeFormat(format, it == g.formats.end()
                                                     ? std::optional<std::string_view>()
                                                     : std::optional<std::string_view>(it->second));
    }
    bool locked(std::uint16_t xf) const {
        return protectedSheet && (xf >= g.xfs.size() || g.xfs[xf].locked);
    }

    // Fills the formula part of a FORMULA cell. False for a cell without text to match: the
    // other cells of an array formula, and data tables.
    Result<bool> readFormula(Cell& c, std::string_view data) const {
        if (data.size() < 22) {
            return Error{ErrorCode::Corrupt, "a formula record of " + where(c) + " is cut short"};
        }
        c.cce = load16(data.data() + 20);
        if (22u + c.cce > data.size()) {
            return Error{ErrorCode::Corrupt, "the formula of " + where(c) + " is cut short"};
        }
        c.tokenRecord = c.record;
        c.tokenOffset = 22;
        std::string_view rgce = data.substr(22, c.cce);
        std::string_view rgcb = data.substr(22 + c.cce);
        std::uint16_t baseRow = c.row, baseCol = c.col;
        if (!rgce.empty() && rgce[0] == 0x02) {
            return false; // a data table
        }
        if (!rgce.empty() && rgce[0] == 0x01 && rgce.size() >= 5) {
            const std::uint16_t row = load16(rgce.data() + 1), col = load16(rgce.data() + 3);
            const std::uint32_t key = (std::uint32_t{row} << 16) | col;
            if (const auto a = arrayFormulas.find(key); a != arrayFormulas.end()) {
                if (row != c.row || col != c.col) {
                    return false; // holds a result of the array formula
                }
                c.tokenRecord = a->second;
                c.tokenOffset = 14;
            } else if (const auto s = sharedFormulas.find(key); s != sharedFormulas.end()) {
                c.tokenRecord = s->second;
                c.tokenOffset = 10;
                c.shared = true;
            } else {
                return Error{ErrorCode::UnsupportedFormat,
                             "the formula of " + where(c) +
                                 " refers to a shared formula that is missing"};
            }
            const std::string_view d = g.data(c.tokenRecord);
            if (d.size() < c.tokenOffset) {
                return Error{ErrorCode::Corrupt,
                             "a shared formula of " + sheetName + " is cut short"};
            }
            c.cce = load16(d.data() + c.tokenOffset - 2);
            if (c.tokenOffset + c.cce > d.size()) {
                return Error{ErrorCode::Corrupt,
                             "a shared formula of " + sheetName + " is cut short"};
            }
            rgce = d.substr(c.tokenOffset, c.cce);
            rgcb = d.substr(c.tokenOffset + c.cce);
        }
        auto decompiled = decompileFormula(rgce, rgcb, g.names, baseRow, baseCol);
        if (!decompiled) {
            // Never skipped silently: a formula that cannot be read could hold the find text.
            return Error{ErrorCode::UnsupportedFormat,
                         "the formula in " + where(c) + " cannot be read for matching"};
        }
        c.formula = std::move(*decompiled);
        c.pieces = {"=" + c.formula.text};
        return true;
    }

    // Calls visit for every cell with text to match, in record order.
    Status forEachCell(const std::function<Status(Cell&)>& visit) const {
        const auto& range = g.ranges[sheet];
        int depth = 0;
        Cell c;
        for (std::size_t i = range.first; i < range.end; ++i) {
            const Record& r = g.records[i];
            if (r.type == rt::kBof) {
                ++depth;
                continue;
            }
            if (r.type == rt::kEof) {
                --depth;
                continue;
            }
            if (depth != 1) {
                continue;
            }
            const std::string_view d = g.data(i);
            const auto start = [&](Kind kind) {
                c = Cell();
                c.record = i;
                c.kind = kind;
                c.row = load16(d.data());
                c.col = load16(d.data() + 2);
                c.xf = load16(d.data() + 4);
            };
            const auto cutShort = [&] {
                return Error{ErrorCode::Corrupt, "a cell record of " + sheetName + " is cut short"};
            };
            Status status = Unit{};
            switch (r.type) {
            case rt::kLabelSst:
                if (d.size() < 10) {
                    return cutShort();
                }
                start(Kind::Sst);
                c.isst = load32(d.data() + 6);
                if (c.isst >= g.strings.entries.size()) {
                    return Error{ErrorCode::Corrupt,
                                 where(c) + " refers to a shared string that does not exist"};
                }
                c.runs = g.strings.entries[c.isst].runs;
                for (auto& piece : splitAtRuns(g.strings.entries[c.isst].text, c.runs)) {
                    c.pieces.push_back(toUtf8(piece));
                }
                status = visit(c);
                break;
            case rt::kLabel:
            case rt::kRString: {
                if (d.size() < 9) {
                    return cutShort();
                }
                start(r.type == rt::kLabel ? Kind::Label : Kind::RString);
                std::size_t at = 6;
                auto units = readUnicodeString(d, at);
                if (!units) {
                    return cutShort();
                }
                if (r.type == rt::kRString && at + 2 <= d.size()) {
                    const std::size_t count = load16(d.data() + at);
                    for (std::size_t k = 0; k < count && at + 2 + 4 * (k + 1) <= d.size(); ++k) {
                        const char* p = d.data() + at + 2 + 4 * k;
                        c.runs.push_back({load16(p), load16(p + 2)});
                    }
                }
                for (auto& piece : splitAtRuns(*units, c.runs)) {
                    c.pieces.push_back(toUtf8(piece));
                }
                status = visit(c);
                break;
            }
            case rt::kNumber:
            case rt::kRk:
                if (d.size() < (r.type == rt::kNumber ? 14u : 10u)) {
                    return cutShort();
                }
                start(Kind::Number);
                if (!isDate(c.xf)) {
                    const double v = r.type == rt::kNumber ? loadDouble(d.data() + 6)
                                                           : rkValue(load32(d.data() + 6));
                    c.pieces = {formula::generalText(v)};
                    status = visit(c);
                }
                break;
            case rt::kMulRk: {
                if (d.size() < 6) {
                    return cutShort();
                }
                const std::size_t count = (d.size() - 6) / 6;
                for (std::size_t k = 0; k < count && status; ++k) {
                    start(Kind::Number);
                    c.col = static_cast<std::uint16_t>(load16(d.data() + 2) + k);
                    c.xf = load16(d.data() + 4 + 6 * k);
                    c.slot = k;
                    if (!isDate(c.xf)) {
                        c.pieces = {formula::generalText(rkValue(load32(d.data() + 6 + 6 * k)))};
                        status = visit(c);
                    }
                }
                break;
            }
            case rt::kBoolErr: {
                if (d.size() < 8) {
                    return cutShort();
                }
                start(Kind::BoolErr);
                const auto value = static_cast<std::uint8_t>(d[6]);
                if (d[7] == 0) {
                    c.pieces = {value != 0 ? "TRUE" : "FALSE"};
                } else {
                    const auto e = std::ranges::find(
                        kErrors, value, &std::pair<std::uint8_t, std::string_view>::first);
                    if (e == kErrors.end()) {
                        break;
                    }
                    c.pieces = {std::string(e->second)};
                }
                status = visit(c);
                break;
            }
            case rt::kFormula: {
                if (d.size() < 6) {
                    return cutShort();
                }
                start(Kind::Formula);
                auto has = readFormula(c, d);
                if (!has) {
                    return has.error();
                }
                if (has.value()) {
                    status = visit(c);
                }
                break;
            }
            default:
                break;
            }
            if (!status) {
                return status;
            }
        }
        return Unit{};
    }
};

SheetCells::SheetCells(const Globals& globals, std::size_t sheet)
    : m_globals(globals), m_sheet(sheet) {}

Status SheetCells::search(const std::vector<ReplaceRequest>& queue, CellListener& listener) {
    Impl impl(m_globals, m_sheet);
    const auto prepared = prepare(queue);
    std::vector<std::pair<std::uint32_t, CellChange>> found;
    auto status = impl.forEachCell([&](Cell& c) -> Status {
        const std::string text = c.text();
        for (const Prepared& p : prepared) {
            if (p.wholeCell ? wholeMatch(p.matcher, text) : p.matcher.contains(text)) {
                found.push_back(
                    {(std::uint32_t{c.row} << 16) | c.col,
                     {impl.sheetName, cellName(c.row, c.col), CellKind::Cell, text, text}});
                break;
            }
        }
        return Unit{};
    });
    if (!status) {
        return status;
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& f : found) {
        listener.cell(f.second);
    }
    return Unit{};
}

namespace {

std::string blankRecord(const Cell& c) {
    return makeRecord(rt::kBlank, cellHeader(c.row, c.col, c.xf));
}

std::string labelSstRecord(const Cell& c, std::uint32_t isst) {
    std::string data = cellHeader(c.row, c.col, c.xf);
    append32(data, isst);
    return makeRecord(rt::kLabelSst, data);
}

std::uint32_t addString(ChangeSet& changes, SstEntry entry) {
    changes.strings.entries.push_back(std::move(entry));
    changes.stringsChanged = true;
    return static_cast<std::uint32_t>(changes.strings.entries.size() - 1);
}

// A text cell's new record: LABEL or RSTRING as it was when it fits one record, else a new
// shared string.
std::string textRecord(const Cell& c, const RunsAfterEdit& result, ChangeSet& changes) {
    std::string data = cellHeader(c.row, c.col, c.xf);
    appendUnicodeString(data, result.text);
    if (!result.runs.empty()) {
        append16(data, static_cast<std::uint16_t>(result.runs.size()));
        for (const FormatRun& run : result.runs) {
            append16(data, run.ich);
            append16(data, run.ifnt);
        }
    }
    if (data.size() <= kMaxRecordData) {
        return makeRecord(result.runs.empty() ? rt::kLabel : rt::kRString, data);
    }
    SstEntry entry;
    entry.text = result.text;
    entry.runs = result.runs;
    ++changes.strings.total;
    return labelSstRecord(c, addString(changes, std::move(entry)));
}

// The record of a cell whose number, boolean or error text changed: the text is typed again
// as if entered.
std::string valueRecord(const Cell& c, const std::string& text, ChangeSet& changes) {
    std::string data = cellHeader(c.row, c.col, c.xf);
    if (text.empty()) {
        return blankRecord(c);
    }
    if (const auto number = formula::readPlainNumber(text)) {
        appendDouble(data, *number);
        return makeRecord(rt::kNumber, data);
    }
    if (text::equalsIgnoringCase(text, "TRUE") || text::equalsIgnoringCase(text, "FALSE")) {
        data.push_back(text::equalsIgnoringCase(text, "TRUE") ? '\1' : '\0');
        data.push_back('\0');
        return makeRecord(rt::kBoolErr, data);
    }
    for (const auto& [code, name] : kErrors) {
        if (text == name) {
            data.push_back(static_cast<char>(code));
            data.push_back('\1');
            return makeRecord(rt::kBoolErr, data);
        }
    }
    SstEntry entry;
    entry.text = toUtf16(text);
    ++changes.strings.total;
    return labelSstRecord(c, addString(changes, std::move(entry)));
}

std::string unescapeQuotes(std::string_view s, bool& ok) {
    std::string out;
    ok = true;
    for (std::size_t i = 0; i < s.size(); ++i) {
        out.push_back(s[i]);
        if (s[i] == '"') {
            if (i + 1 < s.size() && s[i + 1] == '"') {
                ++i;
            } else {
                ok = false;
            }
        }
    }
    return out;
}

} // namespace

Status SheetCells::replace(const std::vector<ReplaceRequest>& queue, bool uniform,
                           ChangeSet& changes, ReplaceCounts& counts, CellListener* listener) {
    Impl impl(m_globals, m_sheet);
    const auto prepared = prepare(queue);
    std::vector<std::pair<std::uint32_t, CellChange>> reported;
    std::map<std::uint32_t, std::optional<std::uint32_t>> sheetStrings; // isst -> new index
    std::map<std::size_t, std::map<std::size_t, std::string>> mulRk;    // record -> slot -> bytes
    std::map<std::size_t, std::string> tokens; // SHRFMLA/ARRAY record -> new rgce
    const Globals& g = m_globals;

    std::string text;
    auto status = impl.forEachCell([&](Cell& c) -> Status {
        // A later request can only match what an earlier one made: when none matches the text
        // as it is, nothing changes.
        text.clear();
        for (const auto& piece : c.pieces) {
            text += piece;
        }
        if (std::none_of(prepared.begin(), prepared.end(),
                         [&](const Prepared& p) { return p.matcher.contains(text); })) {
            return Unit{};
        }
        Outcome outcome = applyQueue(prepared, c.pieces);
        if (!outcome.changed) {
            return Unit{};
        }
        const std::string before = c.text();
        std::string after = outcome.text();
        if (impl.locked(c.xf)) {
            return Error{ErrorCode::ProtectedSheet, impl.where(c)};
        }
        if (c.kind != Kind::Formula && text::utf16Length(after) > text::kMaxCellTextLength) {
            return Error{ErrorCode::ResultTooLong, impl.where(c)};
        }
        switch (c.kind) {
        case Kind::Sst: {
            if (after.empty()) {
                changes.edits[c.record] = blankRecord(c);
                --changes.strings.total;
                changes.stringsChanged = true;
                break;
            }
            const RunsAfterEdit result = joinRuns(outcome.pieces, c.runs);
            SstEntry entry;
            entry.text = result.text;
            entry.runs = result.runs;
            if (uniform) {
                if (!changes.decided.contains(c.isst)) {
                    changes.decided[c.isst] = true;
                    changes.strings.entries[c.isst] = std::move(entry);
                    changes.stringsChanged = true;
                }
                break;
            }
            auto& index = sheetStrings[c.isst];
            if (!index) {
                index = addString(changes, std::move(entry));
            }
            changes.edits[c.record] = labelSstRecord(c, *index);
            break;
        }
        case Kind::Label:
        case Kind::RString:
            changes.edits[c.record] =
                after.empty() ? blankRecord(c)
                              : textRecord(c, joinRuns(outcome.pieces, c.runs), changes);
            break;
        case Kind::Number:
        case Kind::BoolErr:
            if (g.records[c.record].type == rt::kMulRk) {
                mulRk[c.record][c.slot] = valueRecord(c, after, changes);
            } else {
                changes.edits[c.record] = valueRecord(c, after, changes);
            }
            break;
        case Kind::Formula: {
            // Only a change that lies wholly inside string literals can be written: the
            // literals replaced one by one must give the same text as the whole formula.
            std::string rebuilt = "=";
            std::vector<std::pair<std::size_t, std::u16string>> literals;
            std::size_t from = 0;
            bool inLiterals = true;
            for (const auto& lit : c.formula.literals) {
                rebuilt.append(c.formula.text, from, lit.begin - from);
                const std::string content = c.formula.text.substr(lit.begin, lit.end - lit.begin);
                const Outcome inside = applyQueue(prepared, {content});
                const std::string changed = inside.text();
                rebuilt += changed;
                from = lit.end;
                bool ok = true;
                const std::string value = unescapeQuotes(changed, ok);
                inLiterals = inLiterals && ok;
                if (inside.changed) {
                    literals.emplace_back(lit.token, toUtf16(value));
                }
            }
            rebuilt.append(c.formula.text, from);
            if (!inLiterals || rebuilt != after || literals.empty()) {
                return Error{ErrorCode::UnsupportedFormat,
                             "changing this formula in a .xls workbook is not supported: " +
                                 impl.where(c) + " (" + before + ")"};
            }
            const std::string_view d = g.data(c.tokenRecord);
            auto rgce = replaceLiterals(d.substr(c.tokenOffset, c.cce), literals);
            if (!rgce) {
                return Error{ErrorCode::InvalidFormula,
                             impl.where(c) + ": a text in quotes would exceed 255 characters"};
            }
            std::string data(d.substr(0, c.tokenOffset - 2));
            append16(data, static_cast<std::uint16_t>(rgce->size()));
            data += *rgce;
            data.append(d.substr(c.tokenOffset + c.cce));
            if (data.size() > kMaxRecordData) {
                return Error{ErrorCode::ResourceLimit,
                             "the formula of " + impl.where(c) + " would be too long"};
            }
            if (c.tokenRecord != c.record) {
                tokens[c.tokenRecord] = makeRecord(g.records[c.tokenRecord].type, data);
                data = std::string(g.data(c.record));
            }
            // Recalculated when the workbook is next opened; the cached value is stale.
            data[14] = static_cast<char>(data[14] | 0x01);
            changes.edits[c.record] = makeRecord(rt::kFormula, data);
            break;
        }
        }
        counts.replacements += outcome.replacements;
        ++counts.cellsChanged;
        if (listener != nullptr) {
            reported.push_back(
                {(std::uint32_t{c.row} << 16) | c.col,
                 {impl.sheetName, cellName(c.row, c.col), CellKind::Cell, before, after}});
        }
        return Unit{};
    });
    if (!status) {
        return status;
    }
    for (auto& [record, bytes] : tokens) {
        changes.edits[record] = std::move(bytes);
    }
    // A MULRK with changed cells: the unchanged ones stay together (MULRK, or RK when alone),
    // the changed ones take their new records, in column order.
    for (const auto& [record, slots] : mulRk) {
        const std::string_view d = g.data(record);
        const std::uint16_t row = load16(d.data()), firstCol = load16(d.data() + 2);
        const std::size_t count = (d.size() - 6) / 6;
        std::string out;
        std::size_t k = 0;
        while (k < count) {
            if (const auto it = slots.find(k); it != slots.end()) {
                out += it->second;
                ++k;
                continue;
            }
            std::size_t end = k;
            while (end < count && !slots.contains(end)) {
                ++end;
            }
            const auto col = static_cast<std::uint16_t>(firstCol + k);
            std::string data;
            append16(data, row);
            append16(data, col);
            if (end - k == 1) {
                data.append(d.substr(4 + 6 * k, 6));
                out += makeRecord(rt::kRk, data);
            } else {
                data.append(d.substr(4 + 6 * k, 6 * (end - k)));
                append16(data, static_cast<std::uint16_t>(firstCol + end - 1));
                out += makeRecord(rt::kMulRk, data);
            }
            k = end;
        }
        changes.edits[record] = std::move(out);
    }
    if (listener != nullptr) {
        std::stable_sort(reported.begin(), reported.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& r : reported) {
            listener->cell(r.second);
        }
    }
    return Unit{};
}

} // namespace engine::xls
