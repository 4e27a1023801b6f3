// FieldRewriter: a record and field reader over a stream, splicing changed fields. A field is
// quoted when it begins with a quote (RFC 4180, 2); a quote inside an unquoted field is an
// ordinary character, as spreadsheet programs read it. Records end at CRLF, LF or a lone CR.
#include "field_rewriter.h"

#include <algorithm>

namespace engine::delimited {
namespace {

// The first delimiter, CR or LF from `from` on, or npos.
std::size_t findTerminator(std::string_view data, std::size_t from, char delimiter) {
    const char* p = data.data() + from;
    const char* end = data.data() + data.size();
    for (; p < end; ++p) {
        const char c = *p;
        if (c == delimiter || c == '\n' || c == '\r') {
            return static_cast<std::size_t>(p - data.data());
        }
    }
    return std::string_view::npos;
}

} // namespace

std::string fieldName(FieldPosition position) {
    // Columns past the last a sheet has still read as letters; rows cannot overflow 32 bits
    // in a file a program would open, but are clamped rather than wrapped.
    std::string letters;
    for (std::uint64_t c = position.column + 1; c > 0; c = (c - 1) / 26) {
        letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
    }
    return letters + std::to_string(position.row + 1);
}

std::string fieldText(std::string_view raw) {
    if (raw.empty() || raw.front() != '"') {
        return std::string(raw);
    }
    std::string text;
    std::size_t i = 1;
    for (;;) {
        const std::size_t q = raw.find('"', i);
        if (q == std::string_view::npos) {
            text.append(raw.substr(i)); // not closed before the end of the file
            return text;
        }
        if (q + 1 < raw.size() && raw[q + 1] == '"') {
            text.append(raw.substr(i, q + 1 - i));
            i = q + 2;
            continue;
        }
        text.append(raw.substr(i, q - i));
        text.append(raw.substr(q + 1));
        return text;
    }
}

void appendField(std::string& out, std::string_view text, bool wasQuoted, char delimiter) {
    const bool quote =
        wasQuoted || text.find_first_of(std::string{delimiter, '"', '\r', '\n'}) != text.npos;
    if (!quote) {
        out.append(text);
        return;
    }
    out.push_back('"');
    for (const char c : text) {
        if (c == '"') {
            out.push_back('"');
        }
        out.push_back(c);
    }
    out.push_back('"');
}

FieldRewriter::FieldRewriter(Options options)
    : m_options(std::move(options)), m_at(m_options.startPosition) {}

Status FieldRewriter::feed(std::string_view chunk, bool last) {
    if (m_failed) {
        return m_error;
    }
    if (m_stopped) {
        return Unit{};
    }
    std::string_view data = chunk;
    if (!m_buffer.empty()) {
        m_buffer.append(chunk);
        data = m_buffer;
    }
    if (m_options.startOffset > m_base) {
        m_pos = std::max<std::size_t>(m_pos, static_cast<std::size_t>(std::min<std::uint64_t>(
                                                 m_options.startOffset - m_base, data.size())));
    }
    const bool going = parse(data, last);
    if (m_failed) {
        return m_error;
    }
    if (!going) {
        return Unit{};
    }
    if (m_options.mode == Mode::Emit) {
        m_out.append(data.substr(m_copied, m_pos - m_copied));
    }
    // Keep the unfinished field for the next chunk.
    m_base += m_pos;
    m_resume = m_resume > m_pos ? m_resume - m_pos : 0;
    if (data.data() == m_buffer.data()) {
        m_buffer.erase(0, m_pos);
    } else {
        m_buffer.assign(data.substr(m_pos));
    }
    m_pos = 0;
    m_copied = 0;
    return Unit{};
}

bool FieldRewriter::parse(std::string_view data, bool last) {
    const char delimiter = m_options.delimiter;
    while (m_pos < data.size()) {
        const std::size_t p = m_pos;
        const bool quoted = data[p] == '"';
        std::size_t r = std::string_view::npos; // where the field's bytes end
        std::size_t resumeAt = 0;               // where to look again when more must come
        if (quoted) {
            std::size_t q = std::max(p + 1, m_resume);
            for (;;) {
                q = data.find('"', q);
                if (q == std::string_view::npos) {
                    resumeAt = data.size();
                    break;
                }
                if (q + 1 == data.size()) {
                    resumeAt = q; // a doubled quote may follow in the next chunk
                    break;
                }
                if (data[q + 1] == '"') {
                    q += 2;
                    continue;
                }
                resumeAt = q;
                r = findTerminator(data, q + 1, delimiter);
                break;
            }
        } else {
            r = findTerminator(data, std::max(p, m_resume), delimiter);
            resumeAt = data.size();
        }
        if (r == std::string_view::npos) {
            if (!last) {
                m_resume = resumeAt;
                return true;
            }
            r = data.size();
        }
        std::size_t next = r;
        bool endsRecord = true;
        if (r < data.size()) {
            if (data[r] == delimiter) {
                next = r + 1;
                endsRecord = false;
            } else if (data[r] == '\r') {
                if (r + 1 == data.size() && !last) {
                    m_resume = quoted ? resumeAt : r; // an LF may follow in the next chunk
                    return true;
                }
                next = r + 1 + (r + 1 < data.size() && data[r + 1] == '\n' ? 1 : 0);
            } else {
                next = r + 1;
            }
        }
        if (!field(data, p, r, quoted)) {
            return false;
        }
        m_pos = next;
        m_resume = 0;
        if (endsRecord) {
            ++m_at.row;
            m_at.column = 0;
        } else {
            ++m_at.column;
        }
    }
    return true;
}

bool FieldRewriter::field(std::string_view data, std::size_t begin, std::size_t end, bool quoted) {
    const std::string_view raw = data.substr(begin, end - begin);
    std::string_view text = raw;
    if (quoted) {
        // The common quoted field, closed at its end with no quote inside, needs no copy.
        const std::string_view inner = raw.size() >= 2 ? raw.substr(1, raw.size() - 2) : "";
        if (raw.size() >= 2 && raw.back() == '"' && inner.find('"') == inner.npos) {
            text = inner;
        } else {
            m_text = fieldText(raw);
            text = m_text;
        }
    }
    const text::ReplaceQueue& queue = *m_options.queue;
    if (text.empty() || !queue.anyMatch(text)) {
        return true;
    }
    if (m_options.mode == Mode::Search) {
        if (m_options.listener != nullptr) {
            const std::string s(text);
            m_options.listener->cell({m_options.sheetName, fieldName(m_at), CellKind::Cell, s, s});
        }
        return true;
    }
    const std::size_t replacements = queue.apply(text, m_new);
    if (replacements == 0 || m_new == text) {
        return true; // replaced by itself: the cell does not change
    }
    if (m_options.mode == Mode::Find) {
        m_stopped = true;
        m_stopOffset = m_base + begin;
        m_stopPosition = m_at;
        return false;
    }
    if (text::utf16Length(m_new) > text::kMaxCellTextLength) {
        m_failed = true;
        m_error = Error{ErrorCode::ResultTooLong, m_options.sheetName + "!" + fieldName(m_at)};
        return false;
    }
    std::string encoded;
    if (m_options.encoding == Encoding::Windows1252 &&
        !encode(m_options.encoding, m_new, encoded)) {
        m_failed = true;
        m_error = Error{ErrorCode::Unencodable, m_options.sheetName + "!" + fieldName(m_at) +
                                                    " (the file is in " +
                                                    encodingName(m_options.encoding) + ")"};
        return false;
    }
    m_counts.replacements += replacements;
    ++m_counts.cellsChanged;
    if (m_options.listener != nullptr) {
        m_options.listener->cell(
            {m_options.sheetName, fieldName(m_at), CellKind::Cell, std::string(text), m_new});
    }
    if (m_options.mode == Mode::Emit) {
        m_out.append(data.substr(m_copied, begin - m_copied));
        appendField(m_out, m_new, quoted, m_options.delimiter);
        m_copied = end;
    }
    return true;
}

} // namespace engine::delimited
