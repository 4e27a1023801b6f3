// RichText: collecting a CT_Rst string, applying a queue of replacements, writing it back.
#include "rich_text.h"

#include "formula/function_prefixes.h"
#include "namespaces.h"
#include "xml/xml_text.h"

#include <algorithm>

namespace engine::ooxml {

PreparedQueue prepareQueue(const std::vector<ReplaceRequest>& requests) {
    PreparedQueue queue;
    queue.reserve(requests.size());
    for (const auto& r : requests) {
        if (!r.find.empty()) {
            queue.push_back({text::Matcher(r.find, r.matchCase, r.wholeCell), r.replacement,
                             formula::mayFormFutureFunction(r.replacement)});
        }
    }
    return queue;
}

bool anyRequestMatches(const PreparedQueue& queue, std::string_view text) {
    return std::ranges::any_of(queue,
                               [&](const PreparedRequest& r) { return r.matcher.contains(text); });
}

void RichText::begin(xml::Span elementTag) {
    m_count = 0;
    m_phonetic.clear();
    m_elementBegin = elementTag.begin;
    m_elementEnd = elementTag.end;
    m_depth = 0;
    m_inText = m_inRun = m_inPhonetic = false;
}

void RichText::startElement(const xml::QName& name, xml::Attributes attributes, xml::Span tag,
                            xml::Scanner& scanner) {
    ++m_depth;
    if (!isMain(name.uri)) {
        return;
    }
    if (m_depth == 1) {
        if (name.local == "r") {
            m_inRun = true;
            m_runStart = tag;
        } else if (name.local == "rPh") {
            m_inPhonetic = true;
            m_phonetic.push_back({tag.begin, tag.end});
        }
    }
    const bool textOfString = name.local == "t" && ((m_depth == 1) || (m_depth == 2 && m_inRun));
    if (!textOfString) {
        return;
    }
    if (m_count == m_pieces.size()) {
        m_pieces.emplace_back();
    }
    Piece& p = m_pieces[m_count++];
    p.text.clear();
    p.startTag = tag;
    p.endTag = {tag.end, tag.end};
    p.inRun = m_depth == 2;
    p.run = p.inRun ? m_runStart : xml::Span{};
    const char* space = xml::findAttribute(attributes, xml::kXmlNamespace, "space");
    p.preserve = space != nullptr && std::string_view(space) == "preserve";
    m_inText = true;
    scanner.wantCharacters(true);
}

void RichText::endElement(const xml::QName& name, xml::Span tag, xml::Scanner& scanner) {
    if (m_inText && m_depth == (m_inRun ? 2 : 1)) {
        Piece& p = m_pieces[m_count - 1];
        p.endTag = tag;
        if (p.text.find("_x") != std::string::npos) {
            text::decodeEscapes(p.text, m_scratch);
            p.text.swap(m_scratch);
        }
        m_inText = false;
        scanner.wantCharacters(false);
    } else if (m_depth == 1 && isMain(name.uri)) {
        if (m_inRun && name.local == "r") {
            m_inRun = false;
            // The run spans from its start tag to the end of its end tag.
            for (std::size_t i = m_count;
                 i-- > 0 && m_pieces[i].inRun && m_pieces[i].run.begin == m_runStart.begin;) {
                m_pieces[i].run.end = tag.end;
            }
        } else if (m_inPhonetic && name.local == "rPh") {
            m_inPhonetic = false;
            m_phonetic.back().end = tag.end;
        }
    }
    --m_depth;
}

void RichText::characters(std::string_view text) {
    if (m_inText) {
        m_pieces[m_count - 1].text.append(text);
    }
}

void RichText::end(xml::Span elementEndTag) {
    m_elementEnd = elementEndTag.end;
}

std::string RichText::joined() const {
    std::string all;
    for (std::size_t i = 0; i < m_count; ++i) {
        all += m_pieces[i].text;
    }
    return all;
}

bool RichText::empty() const {
    for (std::size_t i = 0; i < m_count; ++i) {
        if (!m_pieces[i].text.empty()) {
            return false;
        }
    }
    return true;
}

void RichText::apply(const PreparedQueue& queue, TextOutcome& outcome, std::vector<Edit>& edits,
                     const xml::RawView& raw) {
    outcome.replacements = 0;
    outcome.changed = false;
    outcome.text.clear();
    if (m_count == 0 || queue.empty()) {
        return;
    }
    if (m_work.size() < m_count) {
        m_work.resize(m_count);
    }
    m_alive.assign(m_count, 1);
    for (std::size_t i = 0; i < m_count; ++i) {
        m_work[i] = m_pieces[i].text;
    }

    for (const auto& request : queue) {
        if (m_count == 1) {
            // One piece: the plain path, without the run bookkeeping.
            if (m_alive[0] == 0) {
                break;
            }
            const std::size_t n =
                request.matcher.replaceAll(m_work[0], request.replacement, m_scratch);
            if (n != 0) {
                m_work[0].swap(m_scratch);
                outcome.replacements += n;
            }
            continue;
        }
        m_scratch.clear();
        m_views.clear();
        for (std::size_t i = 0; i < m_count; ++i) {
            if (m_alive[i] != 0) {
                m_scratch += m_work[i];
                m_views.emplace_back(m_work[i]);
            }
        }
        if (!request.matcher.contains(m_scratch)) {
            continue;
        }
        auto result = text::replaceInRuns(m_views, request.matcher, request.replacement);
        if (!result) {
            continue;
        }
        outcome.replacements += result->replacements;
        std::size_t k = 0;
        for (std::size_t i = 0; i < m_count; ++i) {
            if (m_alive[i] == 0) {
                continue;
            }
            auto& next = result->runs[k++];
            if (!next) {
                m_alive[i] = 0;
            } else {
                m_work[i] = std::move(*next);
            }
        }
    }
    if (outcome.replacements == 0) {
        return;
    }

    for (std::size_t i = 0; i < m_count; ++i) {
        if (m_alive[i] == 0 || m_work[i] != m_pieces[i].text) {
            outcome.changed = true;
        }
        if (m_alive[i] != 0) {
            outcome.text += m_work[i];
        }
    }
    if (!outcome.changed) {
        return;
    }

    const std::size_t first = edits.size();
    for (std::size_t i = 0; i < m_count; ++i) {
        const Piece& p = m_pieces[i];
        if (m_alive[i] == 0 && p.inRun) {
            edits.push_back({p.run, {}});
            continue;
        }
        const std::string& now = m_alive[i] != 0 ? m_work[i] : std::string();
        if (m_alive[i] != 0 && now == p.text) {
            continue;
        }
        m_encoded.clear();
        text::encodeEscapes(now, m_scratch);
        xml::appendEscapedText(m_encoded, m_scratch);
        const bool addPreserve = !p.preserve && text::needsSpacePreserve(now);
        const std::string_view tag = raw.raw(p.startTag);
        if (p.endTag.size() == 0) {
            // <t/>: write the element out with its content.
            std::string whole(tag.substr(0, xml::attributeInsertPoint(tag)));
            if (addPreserve) {
                whole += " xml:space=\"preserve\"";
            }
            whole += '>';
            whole += m_encoded;
            whole += "</";
            whole += xml::rawElementName(tag);
            whole += '>';
            edits.push_back({p.startTag, std::move(whole)});
            continue;
        }
        if (addPreserve) {
            const std::uint64_t at = p.startTag.begin + xml::attributeInsertPoint(tag);
            edits.push_back({{at, at}, " xml:space=\"preserve\""});
        }
        edits.push_back({{p.startTag.end, p.endTag.begin}, m_encoded});
    }
    for (const auto& ph : m_phonetic) {
        edits.push_back({ph, {}});
    }
    std::stable_sort(edits.begin() + static_cast<std::ptrdiff_t>(first), edits.end(),
                     [](const Edit& a, const Edit& b) { return a.span.begin < b.span.begin; });
}

} // namespace engine::ooxml
