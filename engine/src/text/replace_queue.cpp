// ReplaceQueue: the requests of a sheet applied to one plain cell text in turn.
#include "replace_queue.h"

namespace engine::text {

void ReplaceQueue::add(std::string_view find, std::string replacement, bool matchCase,
                       bool wholeCell) {
    m_steps.push_back({Matcher(find, matchCase, wholeCell), std::move(replacement)});
}

bool ReplaceQueue::matches(std::size_t index, std::string_view input) const {
    return m_steps[index].matcher.contains(input);
}

bool ReplaceQueue::anyMatch(std::string_view input) const {
    for (std::size_t i = 0; i < m_steps.size(); ++i) {
        if (matches(i, input)) {
            return true;
        }
    }
    return false;
}

std::size_t ReplaceQueue::apply(std::string_view input, std::string& out) const {
    std::size_t total = 0;
    std::string current(input), next;
    for (const Step& step : m_steps) {
        const std::size_t n = step.matcher.replaceAll(current, step.replacement, next);
        if (n != 0) {
            total += n;
            current.swap(next);
        }
    }
    if (total != 0) {
        out = std::move(current);
    }
    return total;
}

std::size_t ReplaceQueue::applyToRuns(std::vector<std::optional<std::string>>& runs) const {
    std::size_t total = 0;
    std::vector<std::size_t> alive;
    std::vector<std::string_view> views;
    for (const Step& step : m_steps) {
        alive.clear();
        views.clear();
        for (std::size_t i = 0; i < runs.size(); ++i) {
            if (runs[i]) {
                alive.push_back(i);
                views.emplace_back(*runs[i]);
            }
        }
        auto result = replaceInRuns(views, step.matcher, step.replacement);
        if (!result) {
            continue;
        }
        total += result->replacements;
        for (std::size_t k = 0; k < alive.size(); ++k) {
            runs[alive[k]] = std::move(result->runs[k]);
        }
    }
    return total;
}

} // namespace engine::text
