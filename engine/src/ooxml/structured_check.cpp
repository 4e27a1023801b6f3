// Structured references against the tables a save leaves.
#include "structured_check.h"

#include "formula/structured_references.h"
#include "text/text_replace.h"

#include <algorithm>

namespace engine::ooxml {
namespace {

using Pair = std::pair<std::string, std::string>; // table, column

std::vector<Pair> pairs(std::string_view formula) {
    std::vector<Pair> out;
    for (auto& name : formula::structuredReferences(formula)) {
        if (name.columns.empty()) {
            out.emplace_back(name.table, std::string());
        }
        for (auto& column : name.columns) {
            out.emplace_back(name.table, std::move(column));
        }
    }
    return out;
}

bool samePair(const Pair& a, const Pair& b) {
    return text::equalsIgnoringCase(a.first, b.first) &&
           text::equalsIgnoringCase(a.second, b.second);
}

} // namespace

void StructuredUses::note(const std::string& where, std::string_view formula,
                          const std::string_view* before, bool keepExisting) {
    if (formula.find('[') == std::string_view::npos) {
        return;
    }
    const std::vector<Pair> old = before != nullptr ? pairs(*before) : std::vector<Pair>{};
    for (auto& pair : pairs(formula)) {
        const bool introduced = before != nullptr && std::ranges::none_of(old, [&](const Pair& o) {
                                    return samePair(o, pair);
                                });
        if (introduced || keepExisting) {
            keep({where, std::move(pair.first), std::move(pair.second), introduced});
        }
    }
}

void StructuredUses::add(const StructuredUses& other) {
    for (const auto& use : other.m_uses) {
        keep(use);
    }
}

void StructuredUses::keep(StructuredUse use) {
    const bool known = std::ranges::any_of(m_uses, [&](const StructuredUse& u) {
        return u.introduced == use.introduced && text::equalsIgnoringCase(u.table, use.table) &&
               text::equalsIgnoringCase(u.column, use.column);
    });
    if (!known) {
        m_uses.push_back(std::move(use));
    }
}

Status checkStructuredReferences(const std::vector<StructuredUse>& uses,
                                 const std::vector<const Table*>& tables) {
    for (const auto& use : uses) {
        const auto table = std::ranges::find_if(
            tables, [&](const Table* t) { return text::equalsIgnoringCase(t->name(), use.table); });
        if (table == tables.end()) {
            if (use.introduced) {
                return Error{ErrorCode::InvalidFormula,
                             use.where + ": the formula would refer to table \"" + use.table +
                                 "\", which the workbook does not have"};
            }
            continue; // not this workbook's concern: it was so before
        }
        if (use.column.empty() || (*table)->hasColumn(use.column)) {
            continue;
        }
        if (use.introduced) {
            return Error{ErrorCode::InvalidFormula,
                         use.where + ": the formula would refer to column \"" + use.column +
                             "\" of table \"" + use.table + "\", which the table does not have"};
        }
        if ((*table)->hadColumn(use.column)) {
            return Error{ErrorCode::InvalidFormula,
                         use.where + ": the formula refers to column \"" + use.column +
                             "\" of table \"" + use.table +
                             "\", which the replacement renames in its header cell"};
        }
    }
    return Unit{};
}

} // namespace engine::ooxml
