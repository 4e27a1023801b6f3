// A queue of find/replace requests applied in turn to one plain cell text, with whole-cell
// matching: what every format without rich runs or formulas of its own needs per cell.
#pragma once

#include "text_replace.h"

#include <string>
#include <string_view>
#include <vector>

namespace engine::text {

/// The requests of one sheet, each with its matcher built once for every cell.
class ReplaceQueue {
public:
    /// Appends a request. wholeCell: it applies only to a text that equals find as a whole
    /// (under matchCase), and then replaces all of it.
    void add(std::string_view find, std::string replacement, bool matchCase, bool wholeCell);
    bool empty() const { return m_steps.empty(); }
    std::size_t size() const { return m_steps.size(); }

    /// Applies every request in order, each to the result of the one before. Returns the
    /// number of replacements; out holds the final text when that number is not 0.
    std::size_t apply(std::string_view input, std::string& out) const;
    /// True when request `index` alone matches input as it is (the search listing).
    bool matches(std::size_t index, std::string_view input) const;
    /// True when some request matches input as it is: a text that no request matches stays
    /// as it is, since a request applies only to what the ones before it made.
    bool anyMatch(std::string_view input) const;

private:
    struct Step {
        Matcher matcher;
        std::string replacement;
        bool wholeCell = false;
    };
    std::vector<Step> m_steps;
};

/// True when matcher matches the whole of input (the whole-cell test).
bool matchesWhole(const Matcher& matcher, std::string_view input);

} // namespace engine::text
