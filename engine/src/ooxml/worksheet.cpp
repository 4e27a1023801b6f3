// WorksheetRewriter: the cells of a sheet, one at a time, as the scanner meets them.
#include "worksheet.h"

#include "formula/function_prefixes.h"
#include "formula/number_text.h"
#include "formula/references.h"
#include "formula_edit.h"
#include "namespaces.h"
#include "xml/xml_text.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>

namespace engine::ooxml {
namespace {

std::uint32_t parseNumber(std::string_view v) {
    std::uint32_t n = 0;
    std::from_chars(v.data(), v.data() + v.size(), n);
    return n;
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\n')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\n')) {
        s.remove_suffix(1);
    }
    return s;
}

// The error constants a cell can hold (ECMA-376 Part 1, 18.18.21 ST_CellType "e", and the
// values Excel added since).
constexpr std::array<std::string_view, 14> kErrors = {
    "#NULL!",        "#DIV/0!", "#VALUE!", "#REF!",   "#NAME?",    "#NUM!",     "#N/A",
    "#GETTING_DATA", "#SPILL!", "#CALC!",  "#FIELD!", "#BLOCKED!", "#UNKNOWN!", "#CONNECT!"};

bool isErrorText(std::string_view text) {
    return std::ranges::find(kErrors, text) != kErrors.end();
}

} // namespace

bool constantsMayMatch(const std::vector<ReplaceRequest>& requests) {
    // Every character that a General number, TRUE, FALSE or an error constant can show.
    static const std::string kAlphabet = [] {
        std::string all = "0123456789.-+ETRUEFALSE";
        for (const auto e : kErrors) {
            all += e;
        }
        return all;
    }();
    for (const auto& r : requests) {
        if (r.find.empty()) {
            continue;
        }
        bool possible = true;
        for (const char c : r.find) {
            const auto u = static_cast<unsigned char>(c);
            if (u >= 0x80) {
                // Under case folding a few letters beyond ASCII fold onto ASCII ones ("ſ" onto
                // "s"): stay on the safe side.
                if (r.matchCase) {
                    possible = false;
                    break;
                }
                continue;
            }
            const char upper = r.matchCase ? c : static_cast<char>(std::toupper(u));
            if (kAlphabet.find(upper) == std::string::npos) {
                possible = false;
                break;
            }
        }
        if (possible) {
            return true;
        }
    }
    return false;
}

WorksheetRewriter::WorksheetRewriter(const SheetContext& context, xml::Splicer::Mode mode)
    : m_context(context), m_splicer(mode), m_scanner(*this) {}

WorksheetRewriter::~WorksheetRewriter() = default;

Status WorksheetRewriter::feed(std::string_view chunk) {
    m_splicer.append(chunk);
    auto status = m_scanner.feed(chunk, false);
    if (!status) {
        const auto& e = status.error();
        if (e.code == ErrorCode::Corrupt || e.code == ErrorCode::ResourceLimit) {
            return Error{e.code, m_context.partName + ": " + e.detail};
        }
        return status;
    }
    if (m_splicer.mode() == xml::Splicer::Mode::Deferred && m_splicer.held() > kDeferredLimit) {
        m_splicer.discardOutput();
        m_gaveUpOutput = true;
    }
    m_splicer.release(m_inCell ? m_cellTag.begin : m_safe);
    return Unit{};
}

Status WorksheetRewriter::finish() {
    auto status = m_scanner.feed({}, true);
    if (!status) {
        const auto& e = status.error();
        if (e.code == ErrorCode::Corrupt || e.code == ErrorCode::ResourceLimit) {
            return Error{e.code, m_context.partName + ": " + e.detail};
        }
        return status;
    }
    if (m_protected && !m_lockedChange.empty()) {
        return Error{ErrorCode::ProtectedSheet,
                     "sheet \"" + m_context.sheetName + "\", cell " + m_lockedChange};
    }
    if (changed() && !m_scanner.utf8()) {
        return Error{ErrorCode::UnsupportedFormat, m_context.partName + " is not in UTF-8"};
    }
    m_splicer.finish();
    return Unit{};
}

void WorksheetRewriter::fail(ErrorCode code, std::string detail) {
    m_scanner.fail({code, std::move(detail)});
}

std::string WorksheetRewriter::cellName() const {
    return m_context.sheetName + "!" + formula::formatCellAddress({m_row, m_col});
}

void WorksheetRewriter::startElement(const xml::QName& name, xml::Attributes attributes,
                                     xml::Span tag) {
    ++m_depth;
    if (m_inInline) {
        m_inline.startElement(name, attributes, tag, m_scanner);
        return;
    }
    if (m_depth == 1) {
        // Dialog sheets and chart sheets can sit behind a worksheet relationship; they have
        // no cells.
        m_hasCells = name.local == "worksheet" || name.local == "macrosheet";
    } else if (!m_hasCells || !isMain(name.uri)) {
        // Nothing to do outside SpreadsheetML elements.
    } else if (m_depth == 2) {
        if (name.local == "sheetData") {
            m_inSheetData = true;
        } else if (name.local == "sheetProtection") {
            m_protected = xmlTrue(xml::findAttribute(attributes, "sheet"));
        }
    } else if (m_inSheetData && m_depth == 3 && name.local == "row") {
        const char* r = xml::findAttribute(attributes, "r");
        m_row = r != nullptr ? parseNumber(r) : m_row + 1;
        m_col = 0;
        m_safe = tag.end;
        // Unprefixed children of an unprefixed row share its namespace, so the unprefixed
        // cells that readPlainCell takes are cells of this row.
        const std::string_view raw = m_splicer.view().raw(tag);
        m_rowUnprefixed = raw.starts_with("<row") && raw.size() > 4 &&
                          (raw[4] == ' ' || raw[4] == '>' || raw[4] == '/' || raw[4] == '\t' ||
                           raw[4] == '\n' || raw[4] == '\r');
        readCellsDirectly(tag.end);
        return;
    } else if (m_inSheetData && m_depth == 4 && name.local == "c") {
        const auto attribute = [&](std::string_view local) -> std::optional<std::string_view> {
            const char* value = xml::findAttribute(attributes, local);
            return value != nullptr ? std::optional<std::string_view>(value) : std::nullopt;
        };
        startCell({attribute("r"), attribute("s"), attribute("t"), attribute("vm").has_value()},
                  tag);
        return;
    } else if (m_inCell && m_depth == 5) {
        if (name.local == "v") {
            m_hasValue = true;
            m_valueElement = tag;
            m_valueContent = {tag.end, tag.end};
            if (m_type == CellType::Shared || m_context.constants) {
                m_inValue = true;
                m_value.clear();
                m_scanner.wantCharacters(true);
            }
        } else if (name.local == "f") {
            m_formula = true;
            m_formulaElement = tag;
            m_formulaContent = {tag.end, tag.end};
            const char* t = xml::findAttribute(attributes, "t");
            m_formulaType.assign(t != nullptr ? t : "");
            const char* si = xml::findAttribute(attributes, "si");
            m_formulaGroup.assign(si != nullptr ? si : "");
            m_formulaHasRef = xml::findAttribute(attributes, "ref") != nullptr;
            m_formulaText.clear();
            m_inFormula = true;
            m_scanner.wantCharacters(true);
        } else if (name.local == "is") {
            m_hasInline = true;
            m_inInline = true;
            m_inline.begin(tag);
        }
    }
    if (!m_inCell) {
        m_safe = tag.end;
    }
}

void WorksheetRewriter::endElement(const xml::QName& name, xml::Span tag) {
    if (m_inInline) {
        if (m_depth == 5) {
            m_inInline = false;
            m_inline.end(tag);
        } else {
            m_inline.endElement(name, tag, m_scanner);
        }
    } else if (m_inCell && m_depth == 5 && name.local == "v") {
        m_valueContent.end = tag.begin;
        m_valueElement.end = tag.end;
        if (m_inValue) {
            m_inValue = false;
            m_scanner.wantCharacters(false);
        }
    } else if (m_inFormula && m_depth == 5) {
        // For an empty element the tag is an empty span at its end, so both cases hold.
        m_formulaContent.end = tag.begin;
        m_formulaElement.end = tag.end;
        m_inFormula = false;
        m_scanner.wantCharacters(false);
    } else if (m_inCell && m_depth == 4) {
        endCell(tag);
        --m_depth;
        readCellsDirectly(tag.end);
        return;
    } else if (m_depth == 2) {
        m_inSheetData = false;
    }
    if (!m_inCell) {
        m_safe = tag.end;
    }
    --m_depth;
}

void WorksheetRewriter::characters(std::string_view text) {
    if (m_inFormula) {
        m_formulaText.append(text);
    } else if (m_inValue) {
        m_value.append(text);
    } else {
        m_inline.characters(text);
    }
}

void WorksheetRewriter::startCell(const CellAttributes& attributes, xml::Span tag) {
    m_inCell = true;
    m_cellTag = tag;
    const auto ref = attributes.r ? formula::parseCellName(*attributes.r) : std::nullopt;
    m_col = ref ? static_cast<std::uint32_t>(ref->column) : m_col + 1;
    if (ref && ref->row != 0) {
        m_row = static_cast<std::uint32_t>(ref->row);
    }
    m_style = attributes.s ? parseNumber(*attributes.s) : 0;
    m_valueMetadata = attributes.valueMetadata;
    const std::string_view t = attributes.t.value_or(std::string_view());
    m_typeText.assign(t);
    if (!attributes.t || t == "n") {
        m_type = CellType::Number;
    } else if (t == "s") {
        m_type = CellType::Shared;
    } else if (t == "inlineStr") {
        m_type = CellType::Inline;
    } else {
        m_type = CellType::Other;
    }
    m_formula = m_hasValue = m_hasInline = m_inValue = m_inInline = m_inFormula = false;
    // The texts of the last cell's edits keep their memory for this cell's.
    for (Edit& edit : m_edits) {
        if (edit.text.capacity() > 15 && m_spareTexts.size() < kSpareTexts) {
            m_spareTexts.push_back(std::move(edit.text));
        }
    }
    m_edits.clear();
}

// Cells in their common form (see readPlainCell) are read straight from the bytes at hand and
// done at once, with the state the element events would have given, and the scanner skips
// them; it takes over again at the first cell in another form, or at the end of the row.
void WorksheetRewriter::readCellsDirectly(std::uint64_t from) {
    const std::uint64_t until = m_scanner.skippableUntil();
    if (until == 0 || !m_context.readPlainCells || !m_rowUnprefixed) {
        return;
    }
    std::uint64_t at = from;
    const xml::RawView view = m_splicer.view();
    while (!m_scanner.failed()) {
        // Space between cells (in sheets written with indentation) is taken along.
        std::uint64_t next = at;
        while (next < until) {
            const char c = view.raw({next, next + 1})[0];
            if (c != ' ' && c != '\n' && c != '\t' && c != '\r') {
                break;
            }
            ++next;
        }
        if (next >= until || !readPlainCell(view.raw({next, until}), m_plain)) {
            break;
        }
        at = next;
        const PlainCell& p = m_plain;
        startCell({p.hasR ? std::optional(p.r) : std::nullopt,
                   p.hasS ? std::optional(p.s) : std::nullopt,
                   p.hasT ? std::optional(p.t) : std::nullopt},
                  {at, at + p.tagEnd});
        if (p.hasFormula) {
            m_formula = true;
            m_formulaElement = {at + p.formulaBegin, at + p.formulaEnd};
            m_formulaContent = {at + p.formulaContentBegin, at + p.formulaContentEnd};
            m_formulaType.swap(m_plain.formulaType);
            m_formulaGroup.swap(m_plain.formulaGroup);
            m_formulaHasRef = p.formulaHasRef;
            m_formulaText.swap(m_plain.formula);
        }
        if (p.hasValue) {
            m_hasValue = true;
            m_valueElement = {at + p.valueBegin, at + p.valueEnd};
            m_valueContent = {at + p.valueContentBegin, at + p.valueContentEnd};
            m_value.swap(m_plain.value);
        }
        endCell({at + p.endTagBegin, at + p.end});
        at += p.end;
    }
    if (at != from) {
        m_scanner.skipContent(at);
    }
}

void WorksheetRewriter::endCell(xml::Span tag) {
    if (m_formula) {
        noteFormulaRange();
        formulaCell(); // its <v> is the last result, not a constant
    } else if (holdsAFormulaResult()) {
        // The formula bar shows the array formula (or nothing, in a data table), which its
        // first cell holds and is matched there; this value is one of its results.
    } else if (m_valueMetadata) {
        // A picture in the cell or a linked data type: the value ("#VALUE!") is a stand-in for
        // older programs, not what the cell shows; replacing it would lose the rich value.
    } else if (m_type == CellType::Shared && m_hasValue && m_context.strings != nullptr) {
        sharedStringCell();
    } else if (m_type == CellType::Inline && m_hasInline) {
        inlineStringCell();
    } else if ((m_type == CellType::Number || m_type == CellType::Other) && m_hasValue &&
               m_context.constants) {
        constantCell();
    }
    // The edits come in the order the rules make them; a cell whose children stand out of the
    // usual order (<v> before <f>) has them out of input order, which the splicer needs.
    if (!std::ranges::is_sorted(m_edits, {}, [](const Edit& e) { return e.span.begin; })) {
        std::ranges::stable_sort(m_edits, {}, [](const Edit& e) { return e.span.begin; });
    }
    for (std::size_t i = 1; i < m_edits.size(); ++i) {
        if (m_edits[i].span.begin < m_edits[i - 1].span.end) {
            fail(ErrorCode::Corrupt, cellName() + ": its parts overlap");
            return;
        }
    }
    for (const auto& e : m_edits) {
        m_splicer.replace(e.span, e.text);
    }
    if (!m_edits.empty() && m_gaveUpOutput) {
        m_outputLost = true;
    }
    m_inCell = false;
    m_safe = tag.end;
}

void WorksheetRewriter::noteFormulaRange() {
    if (!m_formulaHasRef || (m_formulaType != "array" && m_formulaType != "dataTable")) {
        return;
    }
    const std::string_view startTag = m_splicer.view().raw(
        {m_formulaElement.begin, std::max(m_formulaContent.begin, m_formulaElement.begin)});
    const auto ref = xml::findRawAttribute(startTag, "ref");
    if (!ref) {
        return;
    }
    const auto range =
        formula::parseCellRange(startTag.substr(ref->valueBegin, ref->valueEnd - ref->valueBegin));
    if (!range) {
        return;
    }
    m_formulaRanges.push_back({std::min(range->first.row, range->last.row),
                               std::max(range->first.row, range->last.row),
                               std::min(range->first.column, range->last.column),
                               std::max(range->first.column, range->last.column)});
}

bool WorksheetRewriter::holdsAFormulaResult() {
    if (m_formulaRanges.empty()) {
        return false;
    }
    const auto row = static_cast<std::int64_t>(m_row);
    const auto column = static_cast<std::int64_t>(m_col);
    std::erase_if(m_formulaRanges, [&](const FormulaRange& r) { return r.lastRow < row; });
    return std::ranges::any_of(m_formulaRanges, [&](const FormulaRange& r) {
        return r.firstRow <= row && column >= r.firstColumn && column <= r.lastColumn;
    });
}

// Each request of the sheet's queue in turn on m_text, as one Replace after another would.
std::size_t WorksheetRewriter::applyQueue() {
    return ooxml::applyQueue(*m_context.queue, m_text, m_scratch);
}

bool WorksheetRewriter::cellChanges(std::size_t replacements, std::string_view newText) {
    if (text::utf16Length(newText) > text::kMaxCellTextLength) {
        fail(ErrorCode::ResultTooLong, cellName());
        return false;
    }
    if (m_lockedChange.empty() &&
        (m_context.styles == nullptr || m_context.styles->locked(m_style))) {
        m_lockedChange = formula::formatCellAddress({m_row, m_col});
    }
    for (Table* table : m_context.tables) {
        if (const auto column = table->headerColumn({m_row, m_col})) {
            table->rename(*column, std::string(newText));
        }
    }
    m_counts.replacements += replacements;
    m_counts.cellsChanged += 1;
    return true;
}

void WorksheetRewriter::noteCell(std::string_view before, std::string_view after) {
    CellChange& change = m_context.cells->emplace_back();
    change.sheet = m_context.sheetName;
    change.cell = formula::formatCellAddress({m_row, m_col});
    if (std::ranges::any_of(m_context.tables, [&](const Table* table) {
            return table->headerColumn({m_row, m_col}).has_value();
        })) {
        change.kind = CellKind::TableHeader;
    }
    change.before.assign(before);
    change.after.assign(after);
}

void WorksheetRewriter::noteWhenFound(std::string_view text) {
    if (m_context.cells != nullptr && anyRequestMatches(*m_context.queue, text)) {
        noteCell(text, text);
    }
}

void WorksheetRewriter::removeValueAttributes() {
    const std::string_view tag = m_splicer.view().raw(m_cellTag);
    for (const std::string_view name : {"t", "vm"}) {
        if (name == "vm" && !m_valueMetadata) {
            continue;
        }
        if (const auto a = xml::findRawAttribute(tag, name)) {
            m_edits.push_back({{m_cellTag.begin + a->begin, m_cellTag.begin + a->end}, {}});
        }
    }
}

void WorksheetRewriter::sharedStringCell() {
    const std::string_view digits = trimmed(m_value);
    std::size_t index = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), index);
    if (ec != std::errc() || end != digits.data() + digits.size() ||
        index >= m_context.strings->size()) {
        fail(ErrorCode::Corrupt,
             cellName() + " refers to shared string \"" + m_value + "\", which does not exist");
        return;
    }
    const SharedStrings::Change* change = m_context.strings->change(m_context.queueIndex, index);
    if (change == nullptr) {
        return;
    }
    if (m_context.search) {
        if (m_context.cells != nullptr) {
            noteCell(change->text, change->text); // a search's change is a match, as it is
        }
        return;
    }
    if (change->tooLong) {
        fail(ErrorCode::ResultTooLong, cellName());
        return;
    }
    if (!cellChanges(change->replacements, change->text)) {
        return;
    }
    if (m_context.cells != nullptr) {
        noteCell(change->before, change->text);
    }
    m_context.strings->markUsed(m_context.queueIndex, index);
    if (change->empty) {
        // A blank cell keeps its style: only the type and the value go.
        removeValueAttributes();
        m_edits.push_back({m_valueElement, {}});
        ++m_blanked;
    } else if (m_context.appendStrings) {
        const std::size_t added = m_context.strings->appendedIndex(m_context.queueIndex, index);
        m_edits.push_back({m_valueContent, std::to_string(added)});
    }
}

void WorksheetRewriter::constantCell() {
    const std::string_view stored = trimmed(m_value);
    if (m_type == CellType::Number) {
        // Numbers shown as dates or times are not matched on their number text.
        if (m_context.styles != nullptr && m_context.styles->isDate(m_style)) {
            return;
        }
        double value = 0;
        const auto [end, ec] = std::from_chars(stored.data(), stored.data() + stored.size(), value);
        if (ec != std::errc() || end != stored.data() + stored.size()) {
            return;
        }
        m_text = formula::generalText(value);
    } else {
        const std::string_view t = m_typeText;
        if (t == "b") {
            m_text = stored == "1" ? "TRUE" : "FALSE";
        } else if (t == "e") {
            m_text = stored;
        } else {
            return; // "str" without a formula, "d": not constants this rule reaches
        }
    }
    if (m_context.search) {
        noteWhenFound(m_text);
        return;
    }
    if (m_context.cells != nullptr) {
        m_before = m_text;
    }
    const std::size_t replacements = applyQueue();
    if (replacements == 0 || !cellChanges(replacements, m_text)) {
        return;
    }
    if (m_context.cells != nullptr) {
        noteCell(m_before, m_text);
    }

    // The result is typed again: a plain number stays (or becomes) a number, TRUE and FALSE
    // a boolean, an error text an error, anything else text, as an inline string.
    removeValueAttributes();
    const std::string_view tag = m_splicer.view().raw(m_cellTag);
    const std::uint64_t insertAt = m_cellTag.begin + xml::attributeInsertPoint(tag);
    if (m_text.empty()) {
        m_edits.push_back({m_valueElement, {}});
    } else if (formula::readPlainNumber(m_text)) {
        m_edits.push_back({m_valueContent, m_text});
    } else if (text::equalsIgnoringCase(m_text, "TRUE") ||
               text::equalsIgnoringCase(m_text, "FALSE")) {
        m_edits.push_back({{insertAt, insertAt}, " t=\"b\""});
        m_edits.push_back({m_valueContent, text::equalsIgnoringCase(m_text, "TRUE") ? "1" : "0"});
    } else if (isErrorText(m_text)) {
        m_edits.push_back({{insertAt, insertAt}, " t=\"e\""});
        m_edits.push_back({m_valueContent, m_text});
    } else {
        m_edits.push_back({{insertAt, insertAt}, " t=\"inlineStr\""});
        std::string is =
            text::needsSpacePreserve(m_text) ? "<is><t xml:space=\"preserve\">" : "<is><t>";
        text::encodeEscapes(m_text, m_scratch);
        xml::appendEscapedText(is, m_scratch);
        is += "</t></is>";
        m_edits.push_back({m_valueElement, std::move(is)});
    }
}

void WorksheetRewriter::inlineStringCell() {
    if (m_context.search) {
        noteWhenFound(m_inline.joined());
        return;
    }
    const std::size_t first = m_edits.size();
    m_inline.apply(*m_context.queue, m_outcome, m_edits, m_splicer.view());
    if (!m_outcome.changed) {
        return;
    }
    if (!cellChanges(m_outcome.replacements, m_outcome.text)) {
        m_edits.resize(first);
        return;
    }
    if (m_context.cells != nullptr) {
        noteCell(m_inline.joined(), m_outcome.text);
    }
    if (m_outcome.text.empty()) {
        m_edits.resize(first);
        removeValueAttributes();
        m_edits.push_back({m_inline.element(), {}});
    }
}

bool shiftsCannotCreateMatches(const std::vector<ReplaceRequest>& requests) {
    for (const auto& r : requests) {
        std::size_t run = 0; // letters (characters, not bytes) in the current run
        bool fine = true;
        const auto endRun = [&] {
            fine = fine && (run == 0 || run >= 4);
            run = 0;
        };
        for (const char c : r.find) {
            const auto u = static_cast<unsigned char>(c);
            if ((u >= '0' && u <= '9') || c == '$' || c == '#' || c == '!' || c == ':') {
                return false;
            }
            if (u >= 0xC0 || std::isalpha(u) != 0) {
                ++run; // an ASCII letter or the first byte of a character beyond ASCII
            } else if (u < 0x80) {
                endRun();
            }
        }
        endRun();
        if (!fine) {
            return false;
        }
    }
    return true;
}

bool editsCommuteWithShifts(const std::vector<ReplaceRequest>& requests) {
    const auto neutral = [](std::string_view text) {
        std::size_t run = 0; // letters (characters, not bytes) in the current run
        bool fine = !text.empty();
        for (const char c : text) {
            const auto u = static_cast<unsigned char>(c);
            if (u >= 0xC0 || std::isalpha(u) != 0) {
                ++run; // an ASCII letter or the first byte of a character beyond ASCII
            } else if (c == ' ') {
                fine = fine && run >= 4;
                run = 0;
            } else if (u < 0x80) {
                return false;
            }
        }
        return fine && run >= 4 && text.front() != ' ';
    };
    return std::ranges::all_of(requests, [&](const ReplaceRequest& r) {
        return neutral(r.find) && neutral(r.replacement);
    });
}

namespace {

// The tokens of a group's formula, made the first time a cell of the group needs them (a
// formula that is not empty always has at least one token).
const std::vector<formula::Token>& tokensOf(const std::string& formula,
                                            std::vector<formula::Token>& tokens) {
    if (tokens.empty()) {
        formula::tokenize(formula, tokens);
    }
    return tokens;
}

} // namespace

void WorksheetRewriter::memberFromEditedMaster(Master& master) {
    const auto rows = static_cast<std::int64_t>(m_row) - master.row;
    const auto columns = static_cast<std::int64_t>(m_col) - master.col;
    formula::shiftReferences(master.edited, tokensOf(master.edited, master.editedTokens), rows,
                             columns, m_shifted);
    m_text.assign(1, '=');
    m_text += m_shifted;
    if (!cellChanges(master.replacements, m_text)) {
        return;
    }
    if (m_context.cells != nullptr) {
        std::string before;
        formula::shiftReferences(master.text, tokensOf(master.text, master.tokens), rows, columns,
                                 before);
        noteCell(shownFormula(before), m_text);
    }
    m_formulasChanged = true;
    // Shifting keeps the structure the first cell's check found sound; only the length moves.
    if (const auto why = formula::checkLength(m_shifted)) {
        fail(ErrorCode::InvalidFormula, cellName() + ": " + *why);
        return;
    }
    // Its structured references need no note: shifting leaves them as they are, so they are
    // the first cell's, which are noted already (a use is kept once).
    writeFormula(m_shifted, true, true);
}

void WorksheetRewriter::formulaCell() {
    // Data tables (what-if analysis) are Excel's own machinery, not a formula a user typed.
    if (m_formulaType == "dataTable") {
        return;
    }
    const bool shared = m_formulaType == "shared";
    const bool expand =
        shared &&
        ((m_context.expandGroups != nullptr && m_context.expandGroups->contains(m_formulaGroup)) ||
         m_expandingNow.contains(m_formulaGroup));
    std::string_view stored = m_formulaText;
    if (shared && m_formulaText.empty()) {
        // A later cell of a group: its formula is the master's, shifted to this cell.
        const auto master = m_masters.find(m_formulaGroup);
        if (master == m_masters.end()) {
            if (expand) {
                fail(ErrorCode::InvalidFormula,
                     cellName() + ": its shared formula comes before the group's first cell");
            }
            m_membersBeforeMaster.insert(m_formulaGroup);
            return; // a group without a master: nothing the formula bar would show
        }
        if (!expand && !master->second.matches && m_context.membersFollowMaster) {
            return; // shifted, it would not match either (see shiftsCannotCreateMatches)
        }
        Master& m = master->second;
        if (expand && m.followEdit) {
            memberFromEditedMaster(m);
            return;
        }
        formula::shiftReferences(m.text, tokensOf(m.text, m.tokens),
                                 static_cast<std::int64_t>(m_row) - m.row,
                                 static_cast<std::int64_t>(m_col) - m.col, m_shifted);
        stored = m_shifted;
    } else {
        if (shared && m_formulaHasRef) {
            Master& m = m_masters[m_formulaGroup];
            m.text = m_formulaText;
            m.row = m_row;
            m.col = m_col;
            m.tokens.clear();
            m.followEdit = false;
        }
    }

    if (m_context.search) {
        const std::string shown = shownFormula(stored);
        if (shared && !m_formulaText.empty() && m_formulaHasRef) {
            m_masters[m_formulaGroup].matches = anyRequestMatches(*m_context.queue, shown);
        }
        noteWhenFound(shown);
        return;
    }
    FormulaEdit& edit = m_formulaEdit;
    editFormula(stored, *m_context.queue, m_scratch, edit);
    if (shared && !m_formulaText.empty() && m_formulaHasRef) {
        m_masters[m_formulaGroup].matches = edit.replacements != 0;
    }
    if (edit.replacements == 0) {
        if (expand) {
            writeFormula(stored, false, true); // its own text now that the group is gone
        }
        noteStructuredReferences(stored, nullptr);
        return;
    }
    m_text.swap(edit.shown);
    if (!cellChanges(edit.replacements, m_text)) {
        noteStructuredReferences(stored, nullptr);
        return;
    }
    if (m_context.cells != nullptr) {
        noteCell(shownFormula(stored), m_text);
    }
    m_formulasChanged = true;
    if (shared && !expand) {
        if (!m_formulaText.empty() && m_formulaHasRef &&
            !m_membersBeforeMaster.contains(m_formulaGroup)) {
            // The group's first cell: no other cell of it was passed, so the rest of the group
            // is written out cell by cell as it comes.
            m_expandingNow.insert(m_formulaGroup);
        } else {
            // Cells of the group already passed were left shared: the sheet is written again
            // with the whole group expanded.
            m_groupsToExpand.insert(m_formulaGroup);
        }
    }
    if (!m_text.starts_with('=')) {
        if (m_formulaType == "array") {
            // The other cells of the range would keep results of a formula that is gone.
            fail(ErrorCode::InvalidFormula,
                 cellName() + ": an array formula cannot become a constant");
            return;
        }
        writeFormulaConstant();
        return;
    }
    if (const auto why = formulaProblem(edit.stored)) {
        fail(ErrorCode::InvalidFormula, cellName() + ": " + *why);
        return;
    }
    if (m_context.sheetNames != nullptr) {
        if (const auto why = missingSheetProblem(edit.stored, stored, *m_context.sheetNames)) {
            fail(ErrorCode::InvalidFormula, cellName() + ": " + *why);
            return;
        }
    }
    noteStructuredReferences(edit.stored, &stored);
    if (shared && !m_formulaText.empty() && m_formulaHasRef &&
        m_context.membersFollowEditedMaster && !formula::mayHoldPrefix(stored)) {
        Master& m = m_masters[m_formulaGroup];
        m.followEdit = true;
        m.edited = edit.stored;
        m.editedTokens.clear();
        m.replacements = edit.replacements;
    }
    writeFormula(edit.stored, true, shared);
}

void WorksheetRewriter::noteStructuredReferences(std::string_view formula,
                                                 const std::string_view* before) {
    if (formula.find('[') != std::string_view::npos) {
        m_structured.note(cellName(), formula, before, m_context.noteAllStructured);
    }
}

void WorksheetRewriter::writeFormula(std::string_view stored, bool changes, bool unshare) {
    // A changed formula's last result is stale: its value and the value's type go, and the
    // workbook is recalculated when it is opened.
    if (changes) {
        removeValueAttributes();
    }
    if (unshare) {
        // The start tag without t, ref and si, then the cell's own text and the end tag.
        const std::string_view startTag =
            m_splicer.view().raw({m_formulaElement.begin, m_formulaContent.begin});
        std::array<xml::RawAttribute, 3> drop;
        std::size_t dropped = 0;
        for (const std::string_view name : {"t", "ref", "si"}) {
            if (const auto a = xml::findRawAttribute(startTag, name)) {
                drop[dropped++] = *a;
            }
        }
        for (std::size_t i = 1; i < dropped; ++i) { // in the order they stand
            for (std::size_t j = i; j > 0 && drop[j - 1].begin > drop[j].begin; --j) {
                std::swap(drop[j - 1], drop[j]);
            }
        }
        std::string& element = addEdit(m_formulaElement);
        std::size_t from = 0;
        for (std::size_t k = 0; k < dropped; ++k) {
            element.append(startTag, from, drop[k].begin - from);
            from = drop[k].end;
        }
        element.append(startTag, from);
        if (element.ends_with("/>")) {
            element.replace(element.size() - 2, 2, ">");
        }
        xml::appendEscapedTextKeepingCR(element, stored);
        element += "</";
        element += xml::rawElementName(startTag);
        element += '>';
    } else {
        xml::appendEscapedTextKeepingCR(addEdit(m_formulaContent), stored);
    }
    if (changes && m_hasValue) {
        addEdit(m_valueElement);
    }
}

std::string& WorksheetRewriter::addEdit(xml::Span span) {
    Edit& edit = m_edits.emplace_back();
    edit.span = span;
    if (!m_spareTexts.empty()) {
        edit.text.swap(m_spareTexts.back());
        m_spareTexts.pop_back();
        edit.text.clear();
    }
    return edit.text;
}

void WorksheetRewriter::writeFormulaConstant() {
    // Typed as if entered: a plain number stays a number, anything else is text.
    removeValueAttributes();
    const std::string_view startTag =
        m_splicer.view().raw({m_formulaElement.begin, m_formulaContent.begin});
    const std::string_view name = xml::rawElementName(startTag);
    const std::string prefix(name.substr(0, name.size() - 1)); // "x:" of "x:f", or ""
    std::string content;
    if (m_text.empty()) {
        // A blank cell keeps its style.
    } else if (formula::readPlainNumber(m_text)) {
        content = "<" + prefix + "v>" + m_text + "</" + prefix + "v>";
    } else {
        const std::string_view tag = m_splicer.view().raw(m_cellTag);
        const std::uint64_t insertAt = m_cellTag.begin + xml::attributeInsertPoint(tag);
        m_edits.push_back({{insertAt, insertAt}, " t=\"inlineStr\""});
        content = "<" + prefix + "is><" + prefix + "t";
        content += text::needsSpacePreserve(m_text) ? " xml:space=\"preserve\">" : ">";
        text::encodeEscapes(m_text, m_scratch);
        xml::appendEscapedText(content, m_scratch);
        content += "</" + prefix + "t></" + prefix + "is>";
    }
    m_edits.push_back({m_formulaElement, std::move(content)});
    if (m_hasValue) {
        m_edits.push_back({m_valueElement, {}});
    }
}

} // namespace engine::ooxml
