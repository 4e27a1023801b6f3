// SharedStrings: scanning the table once, one result per queue and string, and the new part.
#include "shared_strings.h"

#include "namespaces.h"
#include "xml/xml_text.h"

#include <algorithm>
#include <charconv>

namespace engine::ooxml {

std::string applyEdits(std::string_view original, std::uint64_t base,
                       const std::vector<Edit>& edits) {
    std::string out;
    std::size_t added = 0;
    for (const auto& e : edits) {
        added += e.text.size();
    }
    out.reserve(original.size() + added); // one allocation: the table can be large
    std::uint64_t at = base;
    for (const auto& e : edits) {
        out.append(original.substr(at - base, e.span.begin - at));
        out.append(e.text);
        at = e.span.end;
    }
    out.append(original.substr(at - base));
    return out;
}

void setAttributeValue(std::vector<Edit>& edits, std::string_view part, xml::Span tag,
                       std::string_view qname, std::string_view value) {
    const auto a = xml::findRawAttribute(part.substr(tag.begin, tag.size()), qname);
    if (a) {
        edits.push_back({{tag.begin + a->valueBegin, tag.begin + a->valueEnd}, std::string(value)});
    }
}

class SharedStrings::Reader : public xml::ScanHandler {
public:
    Reader(SharedStrings& table, const std::vector<PreparedQueue>& queues, xml::RawView raw,
           bool search)
        : m_table(table), m_queues(queues), m_raw(raw), m_search(search) {}
    void setScanner(xml::Scanner& scanner) { m_scanner = &scanner; }

    void startElement(const xml::QName& name, xml::Attributes attributes, xml::Span tag) override {
        ++m_depth;
        if (m_inString) {
            m_text.startElement(name, attributes, tag, *m_scanner);
        } else if (m_depth == 1 && isMain(name.uri) && name.local == "sst") {
            m_table.m_rootTag = tag;
            m_table.m_rootEnd = {tag.end, tag.end};
        } else if (m_depth == 2 && isMain(name.uri) && name.local == "si") {
            m_inString = true;
            m_text.begin(tag);
        }
    }

    void endElement(const xml::QName& name, xml::Span tag) override {
        if (m_inString && m_depth == 2) {
            m_inString = false;
            m_text.end(tag);
            finishString();
        } else if (m_inString) {
            m_text.endElement(name, tag, *m_scanner);
        } else if (m_depth == 1) {
            m_table.m_rootEnd = tag;
        }
        --m_depth;
    }

    void characters(std::string_view text) override { m_text.characters(text); }

private:
    void finishString() {
        ++m_table.m_size;
        if (m_search) {
            searchString();
            return;
        }
        for (std::size_t q = 0; q < m_queues.size(); ++q) {
            m_edits.clear();
            m_text.apply(m_queues[q], m_outcome, m_edits, m_raw);
            auto& lookup = m_table.m_lookup[q];
            if (!m_outcome.changed) {
                lookup.push_back(kNone);
                continue;
            }
            lookup.push_back(static_cast<std::uint32_t>(m_table.m_changes.size()));
            Change c;
            c.replacements = m_outcome.replacements;
            c.before = m_text.joined();
            c.empty = m_outcome.text.empty();
            c.tooLong = m_outcome.tooLong();
            const xml::Span si = m_text.element();
            if (!c.empty && !c.tooLong) {
                c.element = applyEdits(m_raw.raw(si), si.begin, m_edits);
            }
            c.text = std::move(m_outcome.text);
            m_table.m_changes.push_back(std::move(c));
            m_table.m_changeSpans.push_back(si);
            m_table.m_changeQueue.push_back(static_cast<std::uint32_t>(q));
            m_table.m_appendedIndex.push_back(kNone);
            m_table.m_used.push_back(false);
        }
    }

    void searchString() {
        m_joined = m_text.joined();
        for (std::size_t q = 0; q < m_queues.size(); ++q) {
            auto& lookup = m_table.m_lookup[q];
            if (!anyRequestMatches(m_queues[q], m_joined)) {
                lookup.push_back(kNone);
                continue;
            }
            lookup.push_back(static_cast<std::uint32_t>(m_table.m_changes.size()));
            Change c;
            c.replacements = 1;
            c.before = m_joined;
            c.text = m_joined;
            m_table.m_changes.push_back(std::move(c));
            m_table.m_changeSpans.push_back(m_text.element());
            m_table.m_changeQueue.push_back(static_cast<std::uint32_t>(q));
            m_table.m_appendedIndex.push_back(kNone);
        }
    }

    SharedStrings& m_table;
    const std::vector<PreparedQueue>& m_queues;
    xml::Scanner* m_scanner = nullptr;
    xml::RawView m_raw;
    RichText m_text;
    TextOutcome m_outcome;
    std::vector<Edit> m_edits;
    std::string m_joined;
    int m_depth = 0;
    bool m_inString = false;
    bool m_search = false;
};

Result<SharedStrings> SharedStrings::load(std::string part, const std::string& partName,
                                          const std::vector<PreparedQueue>& queues, bool search) {
    SharedStrings table;
    table.m_lookup.resize(queues.size());
    table.m_part = std::move(part);
    Reader reader(table, queues, xml::RawView{table.m_part, 0}, search);
    xml::Scanner scanner(reader);
    reader.setScanner(scanner);
    auto status = scanner.scanAll(table.m_part);
    if (!status) {
        return Error{status.error().code, partName + ": " + status.error().detail};
    }
    if (table.anyChange() && !search && !scanner.utf8()) {
        return Error{ErrorCode::UnsupportedFormat, partName + " is not in UTF-8"};
    }
    return table;
}

std::size_t SharedStrings::appendedIndex(std::size_t queue, std::size_t index) {
    const std::uint32_t slot = m_lookup[queue][index];
    if (m_appendedIndex[slot] == kNone) {
        m_appendedIndex[slot] = static_cast<std::uint32_t>(m_size + m_appended.size());
        m_appended.push_back(slot);
    }
    return m_appendedIndex[slot];
}

namespace {

std::optional<std::uint64_t> attributeNumber(std::string_view part, xml::Span tag,
                                             std::string_view qname) {
    const auto a = xml::findRawAttribute(part.substr(tag.begin, tag.size()), qname);
    if (!a) {
        return std::nullopt;
    }
    const auto value = part.substr(tag.begin + a->valueBegin, a->valueEnd - a->valueBegin);
    std::uint64_t n = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
    if (ec != std::errc() || end != value.data() + value.size()) {
        return std::nullopt;
    }
    return n;
}

} // namespace

std::optional<std::string> SharedStrings::write(bool inPlace, std::uint64_t blanked) const {
    std::vector<Edit> edits;
    if (blanked != 0) {
        if (auto count = attributeNumber(m_part, m_rootTag, "count")) {
            setAttributeValue(edits, m_part, m_rootTag, "count",
                              std::to_string(*count > blanked ? *count - blanked : 0));
        }
    }
    if (inPlace) {
        for (std::size_t slot = 0; slot < m_changes.size(); ++slot) {
            const Change& c = m_changes[slot];
            // An empty result is not written: its cells became blank and no longer use it.
            // A result too long failed its cells; unused, the string stays as it was.
            if (m_changeQueue[slot] == 0 && !c.empty && !c.tooLong && m_used[slot]) {
                edits.push_back({m_changeSpans[slot], c.element});
            }
        }
    } else if (!m_appended.empty()) {
        if (auto unique = attributeNumber(m_part, m_rootTag, "uniqueCount")) {
            setAttributeValue(edits, m_part, m_rootTag, "uniqueCount",
                              std::to_string(*unique + m_appended.size()));
        }
        std::string added;
        for (std::uint32_t slot : m_appended) {
            added += m_changes[slot].element;
        }
        edits.push_back({{m_rootEnd.begin, m_rootEnd.begin}, std::move(added)});
    }
    if (edits.empty()) {
        return std::nullopt;
    }
    std::stable_sort(edits.begin(), edits.end(),
                     [](const Edit& a, const Edit& b) { return a.span.begin < b.span.begin; });
    return applyEdits(m_part, 0, edits);
}

} // namespace engine::ooxml
