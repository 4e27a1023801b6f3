// A queue of find/replace requests applied in turn to one plain cell text, with whole-cell
// matching: what every format without rich runs or formulas of its own needs per cell.
#pragma once

#include "text_replace.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace engine::text {

/// The requests of one sheet, each with its matcher built once for every cell.
class ReplaceQueue {
public:
    /// Appends a request. wholeCell: it applies only to a text that equals find as a whole
    /// (under matchCase), and then replaces all of it (the matcher's whole-text mode).
    void add(std::string_view find, std::string replacement, bool matchCase, bool wholeCell);
    bool empty() const { return m_steps.empty(); }
    std::size_t size() const { return m_steps.size(); }

    /// Applies every request in order, each to the result of the one before. Returns the
    /// number of replacements; out holds the final text when that number is not 0.
    std::size_t apply(std::string_view input, std::string& out) const;
    /// The same on rich text: runs holds each run's text, or nullopt for a run that an earlier
    /// request left empty (it goes). Each request applies to the runs as replaceInRuns does.
    /// Returns the number of replacements; runs are changed only when it is not 0.
    std::size_t applyToRuns(std::vector<std::optional<std::string>>& runs) const;
    /// True when request `index` alone matches input as it is (the search listing).
    bool matches(std::size_t index, std::string_view input) const;
    /// True when some request matches input as it is: a text that no request matches stays
    /// as it is, since a request applies only to what the ones before it made.
    bool anyMatch(std::string_view input) const;

private:
    struct Step {
        Matcher matcher;
        std::string replacement;
    };
    std::vector<Step> m_steps;
};

} // namespace engine::text
