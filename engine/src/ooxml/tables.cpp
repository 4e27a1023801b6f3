// Table: header cells and column renames.
#include "tables.h"

#include "formula_edit.h"
#include "namespaces.h"
#include "text/text_replace.h"
#include "xml/xml_text.h"

#include <algorithm>
#include <charconv>

namespace engine::ooxml {

class Table::Reader : public xml::ScanHandler {
public:
    explicit Reader(Table& table) : m_table(table) {}
    // Set once the scanner exists: it is made with this handler.
    xml::Scanner* scanner = nullptr;
    void startElement(const xml::QName& name, xml::Attributes attributes, xml::Span tag) override {
        ++m_depth;
        if (!isMain(name.uri)) {
            return;
        }
        if (m_depth == 1 && name.local == "table") {
            if (const char* ref = xml::findAttribute(attributes, "ref")) {
                m_table.m_range = formula::parseCellNameRange(ref);
            }
            if (const char* rows = xml::findAttribute(attributes, "headerRowCount")) {
                std::string_view v = rows;
                std::from_chars(v.data(), v.data() + v.size(), m_table.m_headerRows);
            }
            if (const char* rows = xml::findAttribute(attributes, "totalsRowCount")) {
                std::string_view v = rows;
                std::from_chars(v.data(), v.data() + v.size(), m_table.m_totalsRows);
            }
            const char* display = xml::findAttribute(attributes, "displayName");
            const char* plain = xml::findAttribute(attributes, "name");
            m_table.m_name = display != nullptr ? display : plain != nullptr ? plain : "";
        } else if (m_depth == 3 && name.local == "tableColumn") {
            Column column;
            if (const char* n = xml::findAttribute(attributes, "name")) {
                column.name = text::decodeEscapes(n);
                column.original = column.name;
            }
            const std::string_view raw =
                std::string_view(m_table.m_part).substr(tag.begin, tag.size());
            if (const auto a = xml::findRawAttribute(raw, "name")) {
                column.value = {tag.begin + a->valueBegin, tag.begin + a->valueEnd};
            }
            m_table.m_columns.push_back(std::move(column));
        } else if (m_depth == 4 && !m_table.m_columns.empty() &&
                   (name.local == "calculatedColumnFormula" || name.local == "totalsRowFormula")) {
            Formula formula;
            formula.element = name.local;
            formula.column = m_table.m_columns.size() - 1;
            formula.content = {tag.end, tag.end};
            m_table.m_formulas.push_back(std::move(formula));
            m_inFormula = true;
            scanner->wantCharacters(true);
        }
    }
    void endElement(const xml::QName& /*name*/, xml::Span tag) override {
        if (m_inFormula && m_depth == 4) {
            // For an empty element the tag is an empty span at its end, so both cases hold.
            Formula& formula = m_table.m_formulas.back();
            formula.content.end = tag.begin;
            formula.text = formula.before;
            m_inFormula = false;
            scanner->wantCharacters(false);
        }
        --m_depth;
    }
    void characters(std::string_view text) override {
        if (m_inFormula) {
            m_table.m_formulas.back().before.append(text);
        }
    }

private:
    Table& m_table;
    int m_depth = 0;
    bool m_inFormula = false;
};

Result<Table> Table::parse(std::string part, const std::string& partName) {
    Table table;
    table.m_part = std::move(part);
    table.m_partName = partName;
    Reader reader(table);
    xml::Scanner scanner(reader);
    reader.scanner = &scanner;
    auto status = scanner.scanAll(table.m_part);
    if (!status) {
        return Error{status.error().code, partName + ": " + status.error().detail};
    }
    return table;
}

std::optional<std::size_t> Table::headerColumn(formula::CellAddress cell) const {
    if (!m_range || m_headerRows == 0 || cell.row != m_range->first.row ||
        cell.column < m_range->first.column || cell.column > m_range->last.column) {
        return std::nullopt;
    }
    const auto column = static_cast<std::size_t>(cell.column - m_range->first.column);
    if (column >= m_columns.size()) {
        return std::nullopt;
    }
    return column;
}

void Table::rename(std::size_t column, std::string text) {
    m_columns[column].name = std::move(text);
    m_columns[column].renamed = true;
    m_renamed = true;
}

bool Table::hasColumn(std::string_view name) const {
    return std::ranges::any_of(
        m_columns, [&](const Column& c) { return text::equalsIgnoringCase(c.name, name); });
}

bool Table::hadColumn(std::string_view name) const {
    return std::ranges::any_of(
        m_columns, [&](const Column& c) { return text::equalsIgnoringCase(c.original, name); });
}

std::string Table::describe(const Formula& formula) const {
    const std::string column =
        formula.column < m_columns.size() ? m_columns[formula.column].original : "";
    return "table \"" + m_name + "\" (" + m_partName + "), " + formula.element + " of column \"" +
           column + "\"";
}

std::string Table::cells(const Formula& formula) const {
    if (!m_range) {
        return {};
    }
    const auto column = m_range->first.column + static_cast<std::int64_t>(formula.column);
    if (formula.element == "totalsRowFormula") {
        return formula::formatCellAddress({m_range->last.row, column});
    }
    const std::int64_t first = m_range->first.row + m_headerRows;
    const std::int64_t last =
        m_range->last.row >= m_totalsRows ? m_range->last.row - m_totalsRows : 0;
    if (first >= last) {
        return formula::formatCellAddress({first, column});
    }
    return formula::formatCellAddress({first, column}) + ":" +
           formula::formatCellAddress({last, column});
}

Status Table::replaceInFormulas(const PreparedQueue& queue,
                                const std::vector<std::string>& sheets) {
    std::string scratch;
    FormulaEdit edit;
    for (auto& formula : m_formulas) {
        editFormula(formula.before, queue, scratch, edit);
        if (edit.replacements == 0) {
            continue;
        }
        if (!edit.shown.starts_with('=')) {
            return Error{ErrorCode::InvalidFormula,
                         describe(formula) + ": the formula would become a constant"};
        }
        if (const auto why = formulaProblem(edit.stored)) {
            return Error{ErrorCode::InvalidFormula, describe(formula) + ": " + *why};
        }
        if (const auto why = missingSheetProblem(edit.stored, formula.before, sheets)) {
            return Error{ErrorCode::InvalidFormula, describe(formula) + ": " + *why};
        }
        formula.text = std::move(edit.stored);
        formula.changed = true;
        m_formulasChanged = true;
    }
    return Unit{};
}

Result<std::string> Table::write() const {
    const std::string where = "table \"" + m_name + "\" (" + m_partName + ")";
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        if (!m_columns[i].renamed) {
            continue;
        }
        if (m_columns[i].name.empty()) {
            return Error{ErrorCode::TableHeaderConflict,
                         where + ": a column would have an empty name"};
        }
        for (std::size_t j = 0; j < m_columns.size(); ++j) {
            if (j != i && text::equalsIgnoringCase(m_columns[i].name, m_columns[j].name)) {
                return Error{ErrorCode::TableHeaderConflict,
                             where + ": \"" + m_columns[i].name + "\""};
            }
        }
    }
    // Column names and formulas, in the order they stand in the part.
    std::vector<std::pair<xml::Span, std::string>> edits;
    for (const auto& column : m_columns) {
        if (!column.renamed || (column.value.size() == 0 && column.value.begin == 0)) {
            continue;
        }
        // In attributes, line breaks and tabs are written as escapes too (Office does so),
        // since attribute value normalisation would turn them into spaces.
        std::string escaped = text::encodeEscapes(column.name);
        std::string attr;
        for (const char c : escaped) {
            if (c == '\n') {
                attr += "_x000a_";
            } else if (c == '\t') {
                attr += "_x0009_";
            } else {
                attr += c;
            }
        }
        std::string value;
        xml::appendEscapedAttribute(value, attr);
        edits.emplace_back(column.value, std::move(value));
    }
    for (const auto& formula : m_formulas) {
        if (formula.changed) {
            edits.emplace_back(formula.content, escapeFormulaText(formula.text));
        }
    }
    std::ranges::sort(edits,
                      [](const auto& a, const auto& b) { return a.first.begin < b.first.begin; });
    std::string out;
    out.reserve(m_part.size());
    std::uint64_t at = 0;
    for (const auto& [span, text] : edits) {
        out.append(m_part, at, span.begin - at);
        out += text;
        at = span.end;
    }
    out.append(m_part, at, std::string::npos);
    return out;
}

} // namespace engine::ooxml
