// The frame of a sheet part: prologue, root element and last bytes (XML 1.0, 2.8 and 3).
#include "sheet_frame.h"

namespace engine::ooxml {

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

Error damaged(const std::string& what) {
    return Error{ErrorCode::Corrupt, what};
}

} // namespace

void SheetFrame::feed(std::string_view chunk) {
    if (m_head.size() < kHead) {
        m_head.append(chunk.substr(0, kHead - m_head.size()));
    }
    if (chunk.size() >= kTail) {
        m_tail.assign(chunk.substr(chunk.size() - kTail));
    } else {
        m_tail.append(chunk);
        if (m_tail.size() > kTail) {
            m_tail.erase(0, m_tail.size() - kTail);
        }
    }
}

bool SheetFrame::utf16() const {
    const std::string_view h = m_head;
    return h.starts_with("\xFF\xFE") || h.starts_with("\xFE\xFF") ||
           h.starts_with(std::string_view("\0<", 2)) || h.starts_with(std::string_view("<\0", 2));
}

Status SheetFrame::check(bool whole) const {
    if (utf16()) {
        return Unit{};
    }
    std::string_view h = m_head;
    if (h.starts_with("\xEF\xBB\xBF")) {
        h.remove_prefix(3);
    }
    // Whitespace, comments and processing instructions may come before the root element.
    for (;;) {
        while (!h.empty() && isSpace(h.front())) {
            h.remove_prefix(1);
        }
        std::string_view close;
        if (h.starts_with("<?")) {
            close = "?>";
        } else if (h.starts_with("<!--")) {
            close = "-->";
        } else {
            break;
        }
        const auto end = h.find(close);
        if (end == std::string_view::npos) {
            return Unit{}; // a prologue longer than the head: the parser judges it
        }
        h.remove_prefix(end + close.size());
    }
    if (h.starts_with("<!DOCTYPE")) {
        return damaged("it declares a DOCTYPE, which no sheet has");
    }
    if (!h.starts_with("<")) {
        return damaged("it is not XML");
    }
    std::size_t nameEnd = 1;
    while (nameEnd < h.size() && !isSpace(h[nameEnd]) && h[nameEnd] != '>' && h[nameEnd] != '/') {
        ++nameEnd;
    }
    const std::string_view qname = h.substr(1, nameEnd - 1);
    const auto colon = qname.find(':');
    const std::string_view local =
        colon == std::string_view::npos ? qname : qname.substr(colon + 1);
    if (local != "worksheet" && local != "macrosheet") {
        return damaged("its root element is <" + std::string(qname) + ">, not a worksheet");
    }
    if (!whole) {
        return Unit{};
    }
    std::string_view t = m_tail;
    while (!t.empty() && isSpace(t.back())) {
        t.remove_suffix(1);
    }
    if (!t.ends_with(">")) {
        return damaged("it is cut short: it does not end with the end of an element");
    }
    return Unit{};
}

} // namespace engine::ooxml
