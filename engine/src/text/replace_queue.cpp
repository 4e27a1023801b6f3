// ReplaceQueue: the requests of a sheet applied to one plain cell text in turn.
#include "replace_queue.h"

namespace engine::text {

bool matchesWhole(const Matcher& matcher, std::string_view input) {
    if (input.empty()) {
        return false;
    }
    // The leftmost match of a find text equal to the whole input starts at 0 and covers it.
    const auto found = matcher.findAll(input);
    return !found.empty() && found.front().first == 0 && found.front().second == input.size();
}

void ReplaceQueue::add(std::string_view find, std::string replacement, bool matchCase,
                       bool wholeCell) {
    m_steps.push_back({Matcher(find, matchCase), std::move(replacement), wholeCell});
}

bool ReplaceQueue::matches(std::size_t index, std::string_view input) const {
    const Step& step = m_steps[index];
    return step.wholeCell ? matchesWhole(step.matcher, input) : step.matcher.contains(input);
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
        std::size_t n = 0;
        if (step.wholeCell) {
            if (matchesWhole(step.matcher, current)) {
                next = step.replacement;
                n = 1;
            }
        } else {
            n = step.matcher.replaceAll(current, step.replacement, next);
        }
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

} // namespace engine::text
