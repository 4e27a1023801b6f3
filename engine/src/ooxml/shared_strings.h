// The shared string table part (ECMA-376 Part 1, 18.4.9 sst): what each queue of replacements
// makes of every <si>, and the new part once the worksheets have said which results they use.
#pragma once

#include "rich_text.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace engine::ooxml {

class SharedStrings {
public:
    /// The result of one queue on one <si>.
    struct Change {
        std::size_t replacements = 0;
        std::string before;  ///< the text as it was (runs joined)
        std::string text;    ///< the new text (runs joined)
        std::string element; ///< the new <si> element
        bool empty = false;  ///< cells that use it become blank
        bool tooLong = false;
    };

    /// Parses the part and applies each queue to every string. With search, nothing is
    /// replaced: a string "changes" when some request of the queue, on its own, matches it,
    /// and its change holds the text as it is (replacements 1, no element). Errors: Corrupt
    /// (not well-formed; detail names the part), ResourceLimit.
    static Result<SharedStrings> load(std::string part, const std::string& partName,
                                      const std::vector<PreparedQueue>& queues,
                                      bool search = false);

    /// Strings in the table.
    std::size_t size() const { return m_size; }
    /// What queue number `queue` makes of string `index`, or nullptr when it stays as it is.
    const Change* change(std::size_t queue, std::size_t index) const {
        const std::uint32_t slot = m_lookup[queue][index];
        return slot == kNone ? nullptr : &m_changes[slot];
    }
    /// Notes that a cell shows the change of string `index` under queue number `queue`. Only
    /// such changes are written in place: a string that no cell shows is no cell's text.
    void markUsed(std::size_t queue, std::size_t index) {
        const std::uint32_t slot = m_lookup[queue][index];
        if (slot != kNone) {
            m_used[slot] = true;
        }
    }
    /// The index of a new <si> holding the change (appended once, on first use). Used when
    /// sheets with different queues may share a string, so the original must stay.
    std::size_t appendedIndex(std::size_t queue, std::size_t index);
    /// True when any string changes under any queue.
    bool anyChange() const { return !m_changes.empty(); }
    /// True when any string changes under queue number `queue`.
    bool anyChange(std::size_t queue) const {
        return std::find(m_changeQueue.begin(), m_changeQueue.end(), queue) != m_changeQueue.end();
    }

    /// The new part: with inPlace, each changed string is rewritten where it is (only sound
    /// when every sheet with cells has the same queue, which must be queue 0); otherwise the
    /// strings appended through appendedIndex go at the end. `blanked` cell references
    /// became blank, so the count attribute drops by that much. Returns nothing (empty
    /// optional) when the part does not change.
    std::optional<std::string> write(bool inPlace, std::uint64_t blanked) const;

private:
    static constexpr std::uint32_t kNone = 0xffffffffU;
    class Reader;

    std::string m_part;
    std::size_t m_size = 0;
    xml::Span m_rootTag, m_rootEnd;
    std::vector<std::vector<std::uint32_t>> m_lookup; // per queue, per string: slot or kNone
    std::vector<Change> m_changes;
    std::vector<xml::Span> m_changeSpans; // per slot: where the original <si> is
    std::vector<std::uint32_t> m_changeQueue;
    std::vector<bool> m_used;                   // per slot: a cell shows the change
    std::vector<std::uint32_t> m_appended;      // slots in the order they were appended
    std::vector<std::uint32_t> m_appendedIndex; // per slot: new index, or kNone
};

/// Writes `original` with `edits` (sorted, absolute spans, all inside [base, base+size)).
std::string applyEdits(std::string_view original, std::uint64_t base,
                       const std::vector<Edit>& edits);

/// Replaces the value of attribute qname in the start tag at `tag` (offsets of part) by
/// value; nothing when the attribute is absent.
void setAttributeValue(std::vector<Edit>& edits, std::string_view part, xml::Span tag,
                       std::string_view qname, std::string_view value);

} // namespace engine::ooxml
