// Splicer: the window of raw input bytes and the copy of unchanged bytes to the output.
#include "splicer.h"

#include <algorithm>
#include <cassert>

namespace engine::xml {

void Splicer::copyTo(std::uint64_t offset) {
    assert(offset >= m_copied && offset >= m_base);
    if (m_mode != Mode::Discard) {
        m_out.append(m_window, m_copied - m_base, offset - m_copied);
    }
    m_copied = offset;
}

void Splicer::replace(Span span, std::string_view with) {
    if (m_mode == Mode::Deferred) {
        m_mode = Mode::Emit;
    }
    copyTo(span.begin);
    if (m_mode != Mode::Discard) {
        m_out.append(with);
    }
    m_copied = span.end;
    m_changed = true;
}

void Splicer::release(std::uint64_t offset) {
    if (m_mode == Mode::Deferred) {
        return;
    }
    offset = std::min<std::uint64_t>(offset, m_base + m_window.size());
    if (offset > m_copied) {
        copyTo(offset);
    }
    const std::uint64_t drop = std::min(offset, m_copied);
    if (drop > m_base) {
        m_window.erase(0, drop - m_base);
        m_base = drop;
    }
}

void Splicer::finish() {
    if (m_mode == Mode::Deferred) {
        return; // nothing was replaced: there is no output
    }
    const std::uint64_t end = m_base + m_window.size();
    if (end > m_copied) {
        copyTo(end);
    }
    m_window.clear();
    m_base = end;
}

} // namespace engine::xml
