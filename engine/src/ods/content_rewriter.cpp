// ContentRewriter: content.xml streamed through the engine's scanner and splicer. A cell's text
// is its paragraphs joined by line feeds, white space collapsed as ODF 1.3 Part 3, 6.1.2 says,
// text:s / text:tab / text:line-break expanded, annotations and notes left out.
#include "content_rewriter.h"

#include "formula/formula_tokenizer.h"
#include "formula/number_text.h"
#include "formula/references.h"
#include "text/text_replace.h"
#include "xml/xml_text.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

namespace engine::ods {
namespace {

bool isNs(const xml::QName& name, std::string_view uri, std::string_view local) {
    return name.uri == uri && name.local == local;
}

std::uint64_t repeatOf(const char* value) {
    if (value == nullptr) {
        return 1;
    }
    std::uint64_t n = 0;
    const auto* end = value + std::strlen(value);
    if (std::from_chars(value, end, n).ec != std::errc{} || n == 0) {
        return 1;
    }
    return std::min<std::uint64_t>(n, 1U << 24);
}

bool isWhite(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

} // namespace

void SheetLister::startElement(const xml::QName& name, xml::Attributes attributes,
                               xml::Span /*tag*/) {
    ++m_depth;
    if (isNs(name, kOfficeNs, "spreadsheet") && m_spreadsheetDepth < 0) {
        m_spreadsheetDepth = m_depth;
    } else if (m_depth == m_spreadsheetDepth + 1 && isNs(name, kTableNs, "table")) {
        const char* n = xml::findAttribute(attributes, kTableNs, "name");
        names.emplace_back(n != nullptr ? n : "");
    }
}

void SheetLister::endElement(const xml::QName& /*name*/, xml::Span /*tag*/) {
    if (m_depth == m_spreadsheetDepth) {
        m_spreadsheetDepth = -2; // only the first spreadsheet element holds sheets
    }
    --m_depth;
}

std::string shownFormula(std::string_view stored, std::string& prefix) {
    prefix.clear();
    const std::size_t colon = stored.find(':');
    const std::size_t equals = stored.find('=');
    if (colon != std::string_view::npos && (equals == std::string_view::npos || colon < equals)) {
        prefix = std::string(stored.substr(0, colon + 1));
        stored.remove_prefix(colon + 1);
    }
    return std::string(stored);
}

std::optional<std::string> openFormulaProblem(std::string_view shown) {
    if (shown.empty() || shown.front() != '=') {
        return "the formula would no longer begin with \"=\"";
    }
    // OpenFormula writes references in brackets ([.A1], [$Sheet1.A1:.B2]), ";" between
    // arguments, and in array constants ";" between columns and "|" between rows. Mapped to the
    // workbook syntax the check knows, the structure is the same.
    std::string mapped;
    int braces = 0;
    for (std::size_t i = 1; i < shown.size(); ++i) {
        const char c = shown[i];
        if (c == '"') {
            const std::size_t close = shown.find('"', i + 1);
            const std::size_t end = close == std::string_view::npos ? shown.size() : close + 1;
            mapped.append(shown.substr(i, end - i));
            i = end - 1;
            while (close != std::string_view::npos && i + 1 < shown.size() && shown[i + 1] == '"') {
                const std::size_t next = shown.find('"', i + 2);
                const std::size_t stop = next == std::string_view::npos ? shown.size() : next + 1;
                mapped.append(shown.substr(i + 1, stop - i - 1));
                i = stop - 1;
                if (next == std::string_view::npos) {
                    break;
                }
            }
        } else if (c == '[') {
            const std::size_t close = shown.find(']', i);
            if (close == std::string_view::npos) {
                return "a \"[\" has no matching \"]\"";
            }
            mapped.append("A1");
            i = close;
        } else if (c == '{') {
            ++braces;
            mapped.push_back(c);
        } else if (c == '}') {
            --braces;
            mapped.push_back(c);
        } else if (c == ';') {
            mapped.push_back(',');
        } else if (c == '|' && braces > 0) {
            mapped.push_back(';');
        } else {
            mapped.push_back(c);
        }
    }
    return formula::checkWellFormed(mapped);
}

ContentRewriter::ContentRewriter(const std::vector<text::ReplaceQueue>& queues,
                                 const std::vector<std::string>& sheetNames, Mode mode,
                                 xml::Splicer::Mode splicerMode, CellListener* listener)
    : m_queues(queues), m_sheetNames(sheetNames), m_mode(mode), m_listener(listener),
      m_splicer(mode == Mode::Write ? splicerMode : xml::Splicer::Mode::Discard), m_scanner(*this) {
}

ContentRewriter::~ContentRewriter() = default;

Status ContentRewriter::feed(std::string_view chunk) {
    m_splicer.append(chunk);
    auto status = m_scanner.feed(chunk, false);
    if (!status) {
        return status;
    }
    if (m_splicer.mode() == xml::Splicer::Mode::Deferred && m_splicer.held() > kDeferredLimit) {
        m_splicer.discardOutput();
        m_gaveUpOutput = true;
    }
    m_splicer.release(m_inCell ? m_cellTag.begin : m_safe);
    return Unit{};
}

Status ContentRewriter::finish() {
    auto status = m_scanner.feed({}, true);
    if (!status) {
        return status;
    }
    if (changed() && !m_scanner.utf8()) {
        return Error{ErrorCode::UnsupportedFormat, "content.xml is not in UTF-8"};
    }
    m_splicer.finish();
    return Unit{};
}

void ContentRewriter::fail(ErrorCode code, std::string detail) {
    m_scanner.fail({code, std::move(detail)});
}

std::string ContentRewriter::cellName() const {
    const std::string& sheet = m_sheet < m_sheetNames.size() ? m_sheetNames[m_sheet] : "";
    return sheet + "!" +
           formula::formatCellAddress(
               {static_cast<std::int64_t>(m_row + 1), static_cast<std::int64_t>(m_column + 1)});
}

std::string ContentRewriter::prefixOf(std::string_view uri) const {
    const auto it = m_prefixes.find(uri);
    return it == m_prefixes.end() ? std::string() : it->second;
}

void ContentRewriter::startElement(const xml::QName& name, xml::Attributes attributes,
                                   xml::Span tag) {
    ++m_depth;
    if (m_depth == 1) {
        // The prefixes the root declares, for the attributes and elements written anew.
        const std::string_view raw = m_splicer.raw(tag);
        for (std::size_t at = raw.find("xmlns:"); at != std::string_view::npos;
             at = raw.find("xmlns:", at + 6)) {
            if (!isWhite(raw[at - 1])) {
                continue; // inside a value: namespace names hold "xmlns:" themselves
            }
            const std::size_t eq = raw.find('=', at);
            if (eq == std::string_view::npos || eq + 2 >= raw.size()) {
                break;
            }
            const char quote = raw[eq + 1];
            const std::size_t close = raw.find(quote, eq + 2);
            if (close == std::string_view::npos) {
                break;
            }
            m_prefixes.emplace(std::string(raw.substr(eq + 2, close - eq - 2)),
                               std::string(raw.substr(at + 6, eq - at - 6)));
        }
        return;
    }
    if (m_skipDepth >= 0) {
        return;
    }
    if (m_inCell) {
        if (m_paragraphDepth < 0) {
            if (m_depth == m_cellDepth + 1 &&
                (isNs(name, kTextNs, "p") || isNs(name, kTextNs, "h"))) {
                if (!m_pieces.empty() || m_sawParagraph) {
                    m_pieces.push_back({Piece::Kind::ParagraphBreak, "\n", {}});
                }
                if (!m_sawParagraph) {
                    m_firstParagraph = tag.begin;
                    const std::string_view qname = xml::rawElementName(m_splicer.raw(tag));
                    const std::size_t colon = qname.find(':');
                    m_textPrefix = colon == std::string_view::npos
                                       ? std::string()
                                       : std::string(qname.substr(0, colon));
                }
                m_sawParagraph = true;
                m_paragraphDepth = m_depth;
                m_lastWasSpace = true;
                m_pendingSpace = false;
                m_textBegin = tag.end;
                m_text.clear();
                m_scanner.wantCharacters(true);
            } else {
                if (isNs(name, kOfficeNs, "annotation")) {
                    m_keptElements.push_back(tag);
                    m_keptOpen = true;
                }
                m_skipDepth = m_depth;
            }
            return;
        }
        closeText(tag.begin);
        const bool space = isNs(name, kTextNs, "s");
        if (space || isNs(name, kTextNs, "tab") || isNs(name, kTextNs, "line-break")) {
            if (m_pendingSpace) {
                (m_pendingPiece < m_pieces.size() ? m_pieces[m_pendingPiece].text : m_text) += ' ';
                m_pendingSpace = false;
            }
            std::string text =
                space                        ? std::string(static_cast<std::size_t>(
                                        repeatOf(xml::findAttribute(attributes, kTextNs, "c"))),
                                                           ' ')
                : isNs(name, kTextNs, "tab") ? "\t"
                                             : "\n";
            m_pieces.push_back({Piece::Kind::Element, std::move(text), tag});
            m_lastWasSpace = false;
            m_skipDepth = m_depth;
            m_elementPiece = true;
            return;
        }
        if (isNs(name, kOfficeNs, "annotation") || isNs(name, kTextNs, "note") ||
            isNs(name, kTextNs, "ruby-text") ||
            name.uri.find("drawing") != std::string_view::npos ||
            name.uri.find("svg") != std::string_view::npos) {
            m_skipDepth = m_depth;
        }
        m_textBegin = tag.end;
        return;
    }
    if (isNs(name, kOfficeNs, "spreadsheet") && m_spreadsheetDepth < 0) {
        m_spreadsheetDepth = m_depth;
        return;
    }
    if (isNs(name, kStyleNs, "style")) {
        const char* n = xml::findAttribute(attributes, kStyleNs, "name");
        m_styleName = n != nullptr ? n : "";
        return;
    }
    if (isNs(name, kStyleNs, "table-cell-properties") && !m_styleName.empty()) {
        const char* protect = xml::findAttribute(attributes, kStyleNs, "cell-protect");
        if (protect != nullptr && std::string_view(protect) == "none") {
            m_unprotectedStyles.insert(m_styleName);
        }
        return;
    }
    if (m_depth == m_spreadsheetDepth + 1 && isNs(name, kTableNs, "table")) {
        m_sheet = m_sheetStarted ? m_sheet + 1 : 0;
        m_sheetStarted = true;
        m_tableDepth = m_depth;
        m_row = 0;
        const char* p = xml::findAttribute(attributes, kTableNs, "protected");
        m_protected = p != nullptr && std::string_view(p) == "true";
        return;
    }
    if (m_tableDepth < 0) {
        return;
    }
    if (isNs(name, kTableNs, "table-row") && m_rowDepth < 0) {
        m_rowDepth = m_depth;
        m_column = 0;
        m_rowRepeat = repeatOf(xml::findAttribute(attributes, kTableNs, "number-rows-repeated"));
        return;
    }
    if (m_rowDepth >= 0 && m_depth == m_rowDepth + 1 &&
        (isNs(name, kTableNs, "table-cell") || isNs(name, kTableNs, "covered-table-cell"))) {
        m_columnRepeat =
            repeatOf(xml::findAttribute(attributes, kTableNs, "number-columns-repeated"));
        const bool active =
            name.local == "table-cell" && m_sheet < m_queues.size() && !m_queues[m_sheet].empty();
        if (!active) {
            m_column += m_columnRepeat;
            m_skipDepth = m_depth;
            m_skippedCell = true;
            return;
        }
        m_inCell = true;
        m_cellDepth = m_depth;
        m_cellTag = tag;
        m_cellQName = std::string(xml::rawElementName(m_splicer.raw(tag)));
        auto get = [&](std::string_view uri, std::string_view local) {
            const char* v = xml::findAttribute(attributes, uri, local);
            return v != nullptr ? std::string(v) : std::string();
        };
        m_valueType = get(kOfficeNs, "value-type");
        m_value = get(kOfficeNs, "value");
        m_booleanValue = get(kOfficeNs, "boolean-value");
        m_formula = get(kTableNs, "formula");
        m_styleOfCell = get(kTableNs, "style-name");
        const char* sv = xml::findAttribute(attributes, kOfficeNs, "string-value");
        m_stringValue = sv != nullptr ? std::optional<std::string>(sv) : std::nullopt;
        m_pieces.clear();
        m_keptElements.clear();
        m_sawParagraph = false;
        m_lastParagraphEnd = tag.end;
        m_firstParagraph = tag.end;
    }
}

void ContentRewriter::characters(std::string_view text) {
    m_text.append(text);
}

void ContentRewriter::closeText(std::uint64_t at) {
    // Character data since the last tag: one piece, its white space collapsed. A space is kept
    // only when something other than white space follows in the paragraph, so it is held as
    // pending until then.
    Piece piece{Piece::Kind::Text, {}, {m_textBegin, at}};
    const std::size_t index = m_pieces.size();
    for (const char c : m_text) {
        if (isWhite(c)) {
            if (!m_lastWasSpace) {
                m_pendingSpace = true;
                m_pendingPiece = index;
                m_lastWasSpace = true;
            }
            continue;
        }
        if (m_pendingSpace) {
            (m_pendingPiece < index ? m_pieces[m_pendingPiece].text : piece.text) += ' ';
            m_pendingSpace = false;
        }
        piece.text.push_back(c);
        m_lastWasSpace = false;
    }
    if (at > m_textBegin) {
        m_pieces.push_back(std::move(piece));
    }
    m_text.clear();
}

void ContentRewriter::endElement(const xml::QName& name, xml::Span tag) {
    if (m_depth == 1) {
        --m_depth;
        return;
    }
    if (m_skipDepth >= 0) {
        if (m_depth == m_skipDepth) {
            m_skipDepth = -1;
            if (m_elementPiece) {
                m_pieces.back().span.end = tag.end;
                m_elementPiece = false;
            } else if (m_skippedCell) {
                m_skippedCell = false;
            } else if (m_keptOpen) {
                m_keptElements.back().end = tag.end;
                m_keptOpen = false;
            }
            if (m_inCell && m_paragraphDepth >= 0) {
                m_textBegin = tag.end;
            }
        }
        --m_depth;
        return;
    }
    if (m_inCell) {
        if (m_paragraphDepth >= 0) {
            closeText(tag.begin);
            if (m_depth == m_paragraphDepth) {
                m_pendingSpace = false; // trailing white space of a paragraph goes
                m_paragraphDepth = -1;
                m_lastParagraphEnd = tag.end;
                m_scanner.wantCharacters(false);
            } else {
                m_textBegin = tag.end;
            }
        } else if (m_depth == m_cellDepth) {
            endCell(tag);
            m_inCell = false;
            m_cellDepth = -1;
            m_safe = tag.end;
        }
        --m_depth;
        return;
    }
    if (m_depth == m_rowDepth) {
        endRow();
        m_rowDepth = -1;
    } else if (m_depth == m_tableDepth) {
        m_tableDepth = -1;
    } else if (m_depth == m_spreadsheetDepth) {
        m_spreadsheetDepth = -2;
    } else if (isNs(name, kStyleNs, "style")) {
        m_styleName.clear();
    }
    --m_depth;
}

std::string ContentRewriter::strippedStartTag(bool dropFormula) const {
    std::string tag(m_splicer.raw(m_cellTag));
    const std::string office = prefixOf(kOfficeNs);
    std::vector<std::string> names;
    for (const char* local : {"value-type", "value", "boolean-value", "string-value", "date-value",
                              "time-value", "currency"}) {
        names.push_back(office + ":" + local);
    }
    if (const std::string calc = prefixOf(kCalcExtNs); !calc.empty()) {
        names.push_back(calc + ":value-type");
    }
    if (dropFormula) {
        names.push_back(prefixOf(kTableNs) + ":formula");
    }
    for (const auto& qname : names) {
        if (const auto a = xml::findRawAttribute(tag, qname)) {
            tag.erase(a->begin, a->end - a->begin);
        }
    }
    if (tag.ends_with("/>")) {
        tag.erase(tag.size() - 2);
        while (!tag.empty() && isWhite(tag.back())) {
            tag.pop_back();
        }
        tag.push_back('>');
    }
    return tag;
}

void ContentRewriter::encodeText(std::string_view text, std::string& out) const {
    const std::string p = m_textPrefix.empty() ? std::string() : m_textPrefix + ":";
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (c == ' ') {
            std::size_t n = 1;
            while (i + n < text.size() && text[i + n] == ' ') {
                ++n;
            }
            // A space is written as it is only between two other characters of the piece, so
            // that no reader collapses or trims it; the others become text:s.
            std::size_t spaces = n;
            if (i > 0 && !isWhite(text[i - 1]) && i + n < text.size()) {
                out.push_back(' ');
                --spaces;
            }
            if (spaces == 1) {
                out += "<" + p + "s/>";
            } else if (spaces > 1) {
                out += "<" + p + "s " + p + "c=\"" + std::to_string(spaces) + "\"/>";
            }
            i += n;
            continue;
        }
        if (c == '\t') {
            out += "<" + p + "tab/>";
        } else if (c == '\n' || c == '\r') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
            out += "<" + p + "line-break/>";
        } else {
            xml::appendEscapedText(out, text.substr(i, 1));
        }
        ++i;
    }
}

std::string ContentRewriter::paragraphs(std::string_view text) const {
    const std::string p = m_textPrefix.empty() ? std::string("text:p") : m_textPrefix + ":p";
    std::string out;
    for (std::size_t begin = 0;;) {
        const std::size_t end = std::min(text.find('\n', begin), text.size());
        const std::string_view line = text.substr(begin, end - begin);
        if (line.empty()) {
            out += "<" + p + "/>";
        } else {
            out += "<" + p + ">";
            encodeText(line, out);
            out += "</" + p + ">";
        }
        if (end >= text.size()) {
            break;
        }
        begin = end + 1;
    }
    return out;
}

bool ContentRewriter::cellChanges(std::size_t replacements, const std::string& before,
                                  const std::string& after) {
    if (text::utf16Length(after) > text::kMaxCellTextLength) {
        fail(ErrorCode::ResultTooLong, cellName());
        return false;
    }
    if (m_protected && !m_unprotectedStyles.contains(m_styleOfCell)) {
        fail(ErrorCode::ProtectedSheet, "sheet \"" + m_sheetNames[m_sheet] + "\", cell " +
                                            cellName().substr(m_sheetNames[m_sheet].size() + 1));
        return false;
    }
    const std::uint64_t copies = m_columnRepeat * m_rowRepeat;
    m_counts.replacements += replacements * copies;
    m_counts.cellsChanged += copies;
    m_rowChanges.push_back({m_column, m_columnRepeat, before, after});
    return true;
}

void ContentRewriter::endRow() {
    if (m_listener != nullptr && !m_rowChanges.empty()) {
        const std::string& sheet = m_sheetNames[m_sheet];
        for (std::uint64_t r = 0; r < m_rowRepeat; ++r) {
            for (const auto& note : m_rowChanges) {
                for (std::uint64_t c = 0; c < note.repeat; ++c) {
                    m_listener->cell({sheet,
                                      formula::formatCellAddress(
                                          {static_cast<std::int64_t>(m_row + r + 1),
                                           static_cast<std::int64_t>(note.column + c + 1)}),
                                      CellKind::Cell, note.before, note.after});
                }
            }
        }
    }
    m_rowChanges.clear();
    m_row += m_rowRepeat;
}

void ContentRewriter::endCell(xml::Span endTag) {
    const xml::Span element{m_cellTag.begin, endTag.end};
    const text::ReplaceQueue& queue = m_queues[m_sheet];
    std::string before, after;
    bool asFormula = false;
    if (!m_formula.empty()) {
        std::string prefix;
        before = shownFormula(m_formula, prefix);
        asFormula = true;
        if (m_mode == Mode::Search) {
            if (queue.anyMatch(before)) {
                m_rowChanges.push_back({m_column, m_columnRepeat, before, before});
            }
        } else if (const std::size_t n = queue.anyMatch(before) ? queue.apply(before, after) : 0;
                   n != 0 && after != before) {
            if (!after.empty() && after.front() == '=') {
                if (auto problem = openFormulaProblem(after)) {
                    fail(ErrorCode::InvalidFormula, cellName() + ": " + *problem);
                    m_column += m_columnRepeat;
                    return;
                }
                if (cellChanges(n, before, after) && m_mode == Mode::Write) {
                    // The cached result goes with the old formula.
                    std::string tag = strippedStartTag(false);
                    const auto a = xml::findRawAttribute(tag, prefixOf(kTableNs) + ":formula");
                    if (a) {
                        std::string value;
                        xml::appendEscapedAttribute(value, prefix + after);
                        tag.replace(a->valueBegin, a->valueEnd - a->valueBegin, value);
                    }
                    for (const auto& kept : m_keptElements) {
                        tag += m_splicer.raw(kept);
                    }
                    tag += "</" + m_cellQName + ">";
                    m_splicer.replace(element, tag);
                }
            } else {
                rebuildAsConstant(element, n, before, after, true);
            }
        }
    } else if (m_valueType == "float" || m_valueType == "percentage" || m_valueType == "currency" ||
               m_valueType == "boolean") {
        if (m_valueType == "boolean") {
            before = m_booleanValue == "true" ? "TRUE" : "FALSE";
        } else {
            char* end = nullptr;
            const double v = std::strtod(m_value.c_str(), &end);
            before = end != m_value.c_str() ? formula::generalText(v) : m_value;
        }
        if (m_mode == Mode::Search) {
            if (queue.anyMatch(before)) {
                m_rowChanges.push_back({m_column, m_columnRepeat, before, before});
            }
        } else if (const std::size_t n = queue.anyMatch(before) ? queue.apply(before, after) : 0;
                   n != 0 && after != before) {
            rebuildAsConstant(element, n, before, after, false);
        }
    } else if (m_valueType.empty() || m_valueType == "string") {
        stringCell(element);
    }
    (void)asFormula;
    if (m_gaveUpOutput && m_splicer.changed()) {
        m_outputLost = true;
    }
    m_column += m_columnRepeat;
}

void ContentRewriter::rebuildAsConstant(xml::Span element, std::size_t replacements,
                                        const std::string& before, const std::string& after,
                                        bool dropFormula) {
    if (!cellChanges(replacements, before, after) || m_mode != Mode::Write) {
        return;
    }
    // Typed again by the engine's rule: a plain number stays (or becomes) a number,
    // TRUE/FALSE a boolean, anything else text; an empty result blanks the cell.
    std::string tag = strippedStartTag(dropFormula);
    const std::string office = prefixOf(kOfficeNs);
    std::string attributes;
    if (after.empty()) {
    } else if (formula::readPlainNumber(after)) {
        const std::string type = m_valueType == "percentage" ? "percentage" : "float";
        attributes =
            " " + office + ":value-type=\"" + type + "\" " + office + ":value=\"" + after + "\"";
    } else if (after == "TRUE" || after == "FALSE") {
        attributes = " " + office + ":value-type=\"boolean\" " + office + ":boolean-value=\"" +
                     (after == "TRUE" ? "true" : "false") + "\"";
    } else {
        attributes = " " + office + ":value-type=\"string\"";
    }
    tag.insert(xml::attributeInsertPoint(tag), attributes);
    for (const auto& kept : m_keptElements) {
        tag += m_splicer.raw(kept);
    }
    if (!after.empty()) {
        tag += paragraphs(after);
    }
    tag += "</" + m_cellQName + ">";
    m_splicer.replace(element, tag);
}

void ContentRewriter::stringCell(xml::Span element) {
    const text::ReplaceQueue& queue = m_queues[m_sheet];
    std::string before;
    for (const auto& piece : m_pieces) {
        before += piece.text;
    }
    if (m_mode == Mode::Search) {
        if (queue.anyMatch(before) || (m_stringValue && queue.anyMatch(*m_stringValue))) {
            m_rowChanges.push_back({m_column, m_columnRepeat, before, before});
        }
        return;
    }
    std::vector<std::optional<std::string>> runs;
    runs.reserve(m_pieces.size());
    for (const auto& piece : m_pieces) {
        runs.emplace_back(piece.text);
    }
    const std::size_t n = queue.anyMatch(before) ? queue.applyToRuns(runs) : 0;
    std::string after;
    for (const auto& run : runs) {
        after += run ? *run : std::string();
    }
    std::string newStringValue;
    const bool valueChanges = m_stringValue && queue.anyMatch(*m_stringValue) &&
                              queue.apply(*m_stringValue, newStringValue) != 0 &&
                              newStringValue != *m_stringValue;
    if ((n == 0 || after == before) && !valueChanges) {
        return;
    }
    if (!cellChanges(n == 0 ? 1 : n, before,
                     after == before && valueChanges ? newStringValue : after) ||
        m_mode != Mode::Write) {
        return;
    }
    if (after.empty()) {
        std::string tag = strippedStartTag(false);
        for (const auto& kept : m_keptElements) {
            tag += m_splicer.raw(kept);
        }
        m_splicer.replace(element, tag + "</" + m_cellQName + ">");
        return;
    }
    if (valueChanges) {
        const std::string_view tag = m_splicer.raw(m_cellTag);
        if (const auto a = xml::findRawAttribute(tag, prefixOf(kOfficeNs) + ":string-value")) {
            std::string value;
            xml::appendEscapedAttribute(value, newStringValue);
            m_splicer.replace({m_cellTag.begin + a->valueBegin, m_cellTag.begin + a->valueEnd},
                              value);
        }
    }
    if (after == before) {
        return;
    }
    bool breaksChange = false;
    for (std::size_t i = 0; i < m_pieces.size(); ++i) {
        if (m_pieces[i].kind == Piece::Kind::ParagraphBreak &&
            (!runs[i] || *runs[i] != m_pieces[i].text)) {
            breaksChange = true;
        }
    }
    if (breaksChange) {
        // A match across paragraphs: the paragraphs are written anew, their spans lost.
        m_splicer.replace({m_firstParagraph, m_lastParagraphEnd}, paragraphs(after));
        return;
    }
    // Spans stay: only the pieces whose text changed are written again.
    std::string encoded;
    for (std::size_t i = 0; i < m_pieces.size(); ++i) {
        const Piece& piece = m_pieces[i];
        if (piece.kind == Piece::Kind::ParagraphBreak || (runs[i] && *runs[i] == piece.text)) {
            continue;
        }
        encoded.clear();
        if (runs[i]) {
            encodeText(*runs[i], encoded);
        }
        m_splicer.replace(piece.span, encoded);
    }
}

} // namespace engine::ods
