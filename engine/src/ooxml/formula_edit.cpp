// Formula edits shared by cells and table parts.
#include "formula_edit.h"

#include "formula/formula_tokenizer.h"
#include "formula/function_prefixes.h"
#include "formula/references.h"
#include "text/text_replace.h"
#include "xml/xml_text.h"

#include <algorithm>

namespace engine::ooxml {

std::size_t applyQueue(const PreparedQueue& queue, std::string& text, std::string& scratch) {
    std::size_t replacements = 0;
    for (const auto& request : queue) {
        const std::size_t n = request.matcher.replaceAll(text, request.replacement, scratch);
        if (n != 0) {
            text.swap(scratch);
            replacements += n;
        }
    }
    return replacements;
}

namespace {

// A call that a replacement made of a function the file stores with a prefix gets it, as
// entering the formula would give it.
void prefixNewCalls(std::string_view before, const PreparedQueue& queue, FormulaEdit& edit) {
    if (std::ranges::any_of(queue, [](const auto& r) { return r.mayFormFutureFunction; })) {
        edit.stored = formula::prefixNewFutureFunctions(before, edit.stored);
    }
}

} // namespace

void editFormula(std::string_view stored, const PreparedQueue& queue, std::string& scratch,
                 FormulaEdit& edit) {
    edit.stored.clear();
    if (!formula::mayHoldPrefix(stored)) {
        // Most formulas: the formula bar shows the stored text, and nothing is tokenized.
        edit.shown.assign(1, '=');
        edit.shown.append(stored);
        edit.replacements = applyQueue(queue, edit.shown, scratch);
        if (edit.replacements != 0 && edit.shown.starts_with('=')) {
            edit.stored.assign(edit.shown, 1);
            prefixNewCalls(stored, queue, edit);
        }
        return;
    }
    formula::FormulaView view = formula::withoutFunctionPrefixes(stored);
    edit.shown.assign(1, '=');
    edit.shown += view.text;
    edit.replacements = applyQueue(queue, edit.shown, scratch);
    if (edit.replacements != 0 && edit.shown.starts_with('=')) {
        edit.stored =
            formula::restoreFunctionPrefixes(view, std::string_view(edit.shown).substr(1));
        prefixNewCalls(stored, queue, edit);
    }
}

std::string shownFormula(std::string_view stored) {
    if (!formula::mayHoldPrefix(stored)) {
        return "=" + std::string(stored);
    }
    return "=" + formula::withoutFunctionPrefixes(stored).text;
}

std::optional<std::string> formulaProblem(std::string_view stored) {
    if (auto why = formula::checkWellFormed(stored)) {
        return why;
    }
    if (std::ranges::any_of(stored, [](char c) {
            return static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r';
        })) {
        return "a control character in a formula";
    }
    return std::nullopt;
}

std::optional<std::string> missingSheetProblem(std::string_view stored, std::string_view before,
                                               const std::vector<std::string>& sheets) {
    if (stored.find('!') == std::string_view::npos) {
        return std::nullopt;
    }
    const auto among = [](std::string_view name, const std::vector<std::string>& names) {
        return std::ranges::any_of(
            names, [&](const std::string& n) { return text::equalsIgnoringCase(n, name); });
    };
    std::optional<std::vector<std::string>> earlier; // made when first needed
    for (const std::string& name : formula::referencedSheets(stored)) {
        if (among(name, sheets)) {
            continue;
        }
        if (!earlier) {
            earlier = formula::referencedSheets(before);
        }
        if (!among(name, *earlier)) {
            return "the formula would refer to sheet \"" + name +
                   "\", which the workbook does not have";
        }
    }
    return std::nullopt;
}

std::string escapeFormulaText(std::string_view stored) {
    std::string escaped;
    xml::appendEscapedTextKeepingCR(escaped, stored);
    return escaped;
}

} // namespace engine::ooxml
