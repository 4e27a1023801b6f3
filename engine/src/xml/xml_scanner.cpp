// The scanner's own XML parser. Worksheets are millions of small elements; a general parser
// spends most of its time on work the engine never needs (copying and splitting every name,
// a callback per piece of text, transcoding). This one checks the same well-formedness rules
// and reports the same events, reading each byte about once.
#include "xml_scanner.h"

#include "expat_scanner.h"
#include "text/ascii.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <utility>

namespace engine::xml {
namespace {

// Separates the namespace URI from the local name in reported attribute names, as expat does
// in namespace mode. A URI cannot hold a space, so the split is unambiguous.
constexpr char kSeparator = ' ';

// True when the NUL-terminated name equals text, without measuring the name first.
bool sameName(const char* name, std::string_view text) {
    for (const char c : text) {
        if (*name != c) {
            return false;
        }
        ++name;
    }
    return *name == 0;
}

enum CharClass : unsigned char {
    kOther = 0,
    kNameChar = 1,  // may continue a name
    kNameStart = 2, // may start a name (and continue it)
    kSpace = 4,     // white space between markup
    kSpecial = 8,   // needs a look in text or attribute values: & < ] CR, control, non-ASCII
};

constexpr std::array<unsigned char, 256> makeClasses() {
    std::array<unsigned char, 256> t{};
    for (int c = 0; c < 256; ++c) {
        unsigned char v = 0;
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80) {
            v |= kNameStart | kNameChar;
        }
        if ((c >= '0' && c <= '9') || c == '.' || c == '-') {
            v |= kNameChar;
        }
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            v |= kSpace;
        }
        if (c < 0x20 || c >= 0x80 || c == '&' || c == '<' || c == ']') {
            v |= kSpecial;
        }
        t[static_cast<std::size_t>(c)] = v;
    }
    return t;
}
constexpr std::array<unsigned char, 256> kClasses = makeClasses();

inline unsigned char classOf(char c) {
    return kClasses[static_cast<unsigned char>(c)];
}
inline bool isSpace(char c) {
    return (classOf(c) & kSpace) != 0;
}

// A character that XML 1.0 allows in a document.
bool isXmlChar(std::uint32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// The length of the UTF-8 sequence at text[0] when it is well formed and encodes a character
// XML allows; 0 otherwise (including a sequence cut off by the end of text).
std::size_t utf8Sequence(std::string_view text) {
    const auto b0 = static_cast<unsigned char>(text[0]);
    std::size_t n = 0;
    std::uint32_t c = 0;
    if (b0 < 0x80) {
        return 1;
    }
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        n = 2;
        c = b0 & 0x1FU;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        n = 3;
        c = b0 & 0x0FU;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        n = 4;
        c = b0 & 0x07U;
    } else {
        return 0;
    }
    if (text.size() < n) {
        return 0;
    }
    for (std::size_t i = 1; i < n; ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if ((b & 0xC0U) != 0x80U) {
            return 0;
        }
        c = (c << 6U) | (b & 0x3FU);
    }
    const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < least[n] || !isXmlChar(c)) {
        return 0;
    }
    return n;
}

// The offset of the first byte in text[from, to) that does not begin a character XML allows
// (as in a comment or a processing instruction), or npos.
std::size_t firstInvalidCharacter(std::string_view text, std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to;) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = c >= 0x80 ? utf8Sequence(text.substr(i, to - i)) : 1;
        if (length == 0 || (c < 0x20 && !isSpace(text[i]))) {
            return i;
        }
        i += length;
    }
    return std::string_view::npos;
}

void appendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0U | (c >> 6U));
        out += static_cast<char>(0x80U | (c & 0x3FU));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0U | (c >> 12U));
        out += static_cast<char>(0x80U | ((c >> 6U) & 0x3FU));
        out += static_cast<char>(0x80U | (c & 0x3FU));
    } else {
        out += static_cast<char>(0xF0U | (c >> 18U));
        out += static_cast<char>(0x80U | ((c >> 12U) & 0x3FU));
        out += static_cast<char>(0x80U | ((c >> 6U) & 0x3FU));
        out += static_cast<char>(0x80U | (c & 0x3FU));
    }
}

// Reads the entity or character reference that starts at text[0] ("&amp;", "&#65;",
// "&#x41;"). Returns its length with the ';', and the character it stands for in c; 0 when
// it is not a well-formed reference; sets undefined for a well-formed name that is none of
// the five predefined entities.
std::size_t reference(std::string_view text, std::uint32_t& c, bool& undefined) {
    undefined = false;
    const auto semicolon = text.find(';');
    if (semicolon == std::string_view::npos || semicolon < 2) {
        return 0;
    }
    const std::string_view body = text.substr(1, semicolon - 1);
    if (body[0] == '#') {
        const bool hex = body.size() > 1 && body[1] == 'x';
        const std::string_view digits = body.substr(hex ? 2 : 1);
        if (digits.empty()) {
            return 0;
        }
        std::uint32_t value = 0;
        for (const char d : digits) {
            std::uint32_t v = 0;
            if (d >= '0' && d <= '9') {
                v = static_cast<std::uint32_t>(d - '0');
            } else if (hex && d >= 'a' && d <= 'f') {
                v = static_cast<std::uint32_t>(d - 'a' + 10);
            } else if (hex && d >= 'A' && d <= 'F') {
                v = static_cast<std::uint32_t>(d - 'A' + 10);
            } else {
                return 0;
            }
            value = value * (hex ? 16U : 10U) + v;
            if (value > 0x10FFFF) {
                return 0;
            }
        }
        if (!isXmlChar(value)) {
            return 0;
        }
        c = value;
        return semicolon + 1;
    }
    static constexpr std::pair<std::string_view, char> kPredefined[] = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto& [name, value] : kPredefined) {
        if (body == name) {
            c = static_cast<unsigned char>(value);
            return semicolon + 1;
        }
    }
    if ((classOf(body[0]) & kNameStart) == 0) {
        return 0;
    }
    for (const char ch : body) {
        if ((classOf(ch) & kNameChar) == 0) {
            return 0;
        }
    }
    undefined = true;
    return 0;
}

// The end of the name that starts at text[at], or npos when the text ends inside it; at
// itself when no name starts there. Bytes beyond ASCII count as name characters when they
// form well-formed UTF-8 (a sequence cut off by the end of text reads as the end of a name;
// the caller then waits for more input).
std::size_t nameEnd(std::string_view text, std::size_t at) {
    std::size_t i = at;
    if (i >= text.size()) {
        return std::string_view::npos;
    }
    if ((classOf(text[i]) & kNameStart) == 0) {
        return at;
    }
    while (i < text.size()) {
        const char c = text[i];
        if ((classOf(c) & kNameChar) == 0) {
            return i;
        }
        if (static_cast<unsigned char>(c) >= 0x80) {
            const std::size_t n = utf8Sequence(text.substr(i));
            if (n == 0) {
                return text.size() - i < 4 ? std::string_view::npos : at;
            }
            i += n;
        } else {
            ++i;
        }
    }
    return std::string_view::npos;
}

// Splits a qualified name at its colon; false when it has more than one, or an empty part.
bool splitQName(std::string_view qname, std::string_view& prefix, std::string_view& local) {
    const auto colon = qname.find(':');
    if (colon == std::string_view::npos) {
        prefix = {};
        local = qname;
        return true;
    }
    prefix = qname.substr(0, colon);
    local = qname.substr(colon + 1);
    return !prefix.empty() && !local.empty() && (classOf(local[0]) & kNameStart) != 0 &&
           local.find(':') == std::string_view::npos;
}

bool startsWith(std::string_view text, std::size_t at, std::string_view what) {
    return text.substr(at, what.size()) == what;
}

// True when the text from at on could still become `what` with more input.
bool couldStartWith(std::string_view text, std::size_t at, std::string_view what) {
    const std::string_view have = text.substr(at);
    return have.size() < what.size() && what.starts_with(have);
}

// The values the XML declaration allows, as expat reads them: a version of letters, digits and
// "._-" (perhaps empty), an encoding name, and
// standalone "yes" or "no" (which: 0, 1, 2).
bool declarationValueValid(int which, std::string_view value) {
    if (which == 2) {
        return value == "yes" || value == "no";
    }
    const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    const auto valid = [&](char c) {
        return letter(c) || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
    };
    return (which == 0 || (!value.empty() && letter(value[0]))) &&
           std::all_of(value.begin(), value.end(), valid);
}

} // namespace

const char* findAttribute(Attributes attributes, std::string_view local) {
    for (auto* a = attributes; *a != nullptr; a += 2) {
        if (sameName(a[0], local)) {
            return a[1];
        }
    }
    return nullptr;
}

const char* findAttribute(Attributes attributes, std::string_view uri, std::string_view local) {
    for (auto* a = attributes; *a != nullptr; a += 2) {
        std::string_view name = a[0];
        if (name.size() == uri.size() + 1 + local.size() && name.starts_with(uri) &&
            name[uri.size()] == kSeparator && name.ends_with(local)) {
            return a[1];
        }
    }
    return nullptr;
}

Scanner::Scanner(ScanHandler& handler) : m_handler(handler) {}

Scanner::~Scanner() = default;

void Scanner::fail(Error error) {
    if (m_expat) {
        m_expat->fail(error);
    }
    if (m_failed) {
        return;
    }
    m_failed = true;
    m_error = std::move(error);
}

void Scanner::wantCharacters(bool on) {
    m_wantCharacters = on;
    if (m_expat) {
        m_expat->wantCharacters(on);
    }
}

Status Scanner::feed(std::string_view chunk, bool last) {
    if (m_failed) {
        return m_error;
    }
    m_fed += chunk.size();
    if (m_expat) {
        auto status = m_expat->feed(chunk, last);
        if (!status) {
            fail(status.error());
        }
        return status;
    }
    if (m_pending.empty()) {
        const std::size_t consumed = parse(chunk, m_fed - chunk.size(), last);
        if (!m_failed && !m_expat) {
            m_pending.assign(chunk.substr(consumed));
        }
    } else if (!last && m_pending.size() + chunk.size() < m_retryAt) {
        // An unfinished token is parsed again from its start, so wait until the input has
        // doubled: a long tag arriving in small chunks costs linear time, not quadratic.
        m_pending.append(chunk);
        return Unit{};
    } else {
        finishPending(chunk, last);
    }
    if (m_expat) {
        m_pending.clear();
    }
    if (m_failed) {
        return m_error;
    }
    if (m_expat) {
        return Unit{};
    }
    if (m_pending.size() > kMaxToken) {
        fail({ErrorCode::ResourceLimit,
              "an XML tag is longer than " + std::to_string(kMaxToken >> 20U) + " MiB"});
        return m_error;
    }
    m_retryAt = 2 * m_pending.size();
    if (last) {
        m_buffer = m_pending;
        m_base = m_fed - m_pending.size();
        if (!m_pending.empty()) {
            error(m_base, "unclosed token");
        } else if (!m_rootSeen || !m_open.empty()) {
            error(m_fed, "no element found");
        }
        if (m_failed) {
            return m_error;
        }
    }
    return Unit{};
}

// Completes the unfinished token in m_pending with as little of the chunk as it needs (at
// least doubling what is held each time), then goes on in the chunk itself: most chunks are
// then read where they lie instead of being copied whole.
void Scanner::finishPending(std::string_view chunk, bool last) {
    const std::uint64_t chunkBase = m_fed - chunk.size();
    std::size_t before = m_pending.size(); // pending bytes that come before the chunk
    std::size_t taken = 0;
    for (;;) {
        const std::size_t want =
            std::min(chunk.size() - taken, std::max<std::size_t>(m_pending.size(), 4096));
        m_pending.append(chunk.substr(taken, want));
        taken += want;
        const bool whole = taken == chunk.size();
        const std::size_t consumed =
            parse(m_pending, chunkBase + taken - m_pending.size(), last && whole);
        if (m_failed) {
            return;
        }
        if (m_expat) {
            // The part turned out not to be UTF-8: expat has what was held, now the rest.
            if (!whole) {
                if (auto status = m_expat->feed(chunk.substr(taken), last); !status) {
                    fail(status.error());
                }
            }
            return;
        }
        if (consumed >= before) {
            // The token is complete: read on from where parsing stopped, in the chunk.
            const std::string_view rest = chunk.substr(consumed - before);
            m_pending.clear();
            const std::size_t more = parse(rest, chunkBase + (consumed - before), last);
            if (!m_failed && !m_expat) {
                m_pending.assign(rest.substr(more));
            }
            return;
        }
        m_pending.erase(0, consumed);
        before -= consumed;
        if (whole) {
            return;
        }
    }
}

bool Scanner::error(std::uint64_t at, const char* what) {
    if (m_failed) {
        return false;
    }
    std::uint64_t line = m_lines, lineStart = m_lineStart;
    const std::uint64_t end = std::min<std::uint64_t>(at - m_base, m_buffer.size());
    for (std::uint64_t i = 0; i < end; ++i) {
        if (m_buffer[i] == '\n') {
            ++line;
            lineStart = m_base + i + 1;
        }
    }
    fail({ErrorCode::Corrupt, "XML error at line " + std::to_string(line) + ", column " +
                                  std::to_string(at - lineStart) + ": " + what});
    return false;
}

void Scanner::countLines(std::string_view consumed) {
    if (consumed.empty()) {
        return; // the data of an empty view may be null, which memchr must not get
    }
    const char* p = consumed.data();
    const char* end = p + consumed.size();
    while (const void* nl = std::memchr(p, '\n', static_cast<std::size_t>(end - p))) {
        p = static_cast<const char*>(nl) + 1;
        ++m_lines;
        m_lineStart = m_base + static_cast<std::uint64_t>(p - consumed.data());
    }
}

bool Scanner::toExpat(std::string_view buffer, bool last) {
    m_utf8 = false;
    m_expat = std::make_unique<ExpatScanner>(m_handler);
    m_expat->wantCharacters(m_wantCharacters);
    auto status = m_expat->feed(buffer, last);
    if (!status) {
        fail(status.error());
        return false;
    }
    return true;
}

std::size_t Scanner::parse(std::string_view buffer, std::uint64_t base, bool last) {
    m_buffer = buffer;
    m_base = base;
    std::size_t pos = 0;
    if (!m_started) {
        const Step step = declaration(buffer, pos, base);
        if (step != Step::Done) {
            if (step == Step::Incomplete && last) {
                error(base, "no element found");
            }
            return 0;
        }
        if (m_expat) {
            toExpat(buffer, last);
            return 0;
        }
    }
    while (pos < buffer.size() && !m_failed) {
        const std::size_t at = pos;
        const Step step =
            buffer[pos] == '<' ? markup(buffer, pos, base) : text(buffer, pos, base, last);
        if (step == Step::Incomplete) {
            if (last) {
                error(base + at, "unclosed token");
            }
            break;
        }
        if (step == Step::Failed || m_failed) {
            break;
        }
    }
    countLines(buffer.substr(0, pos));
    return pos;
}

// The byte order mark and the XML declaration, at the very start of a part. A part in UTF-16
// or in another declared encoding is handed to expat (m_expat is set, nothing consumed).
Scanner::Step Scanner::declaration(std::string_view b, std::size_t& pos, std::uint64_t base) {
    if (b.size() < 2) {
        return Step::Incomplete;
    }
    const auto b0 = static_cast<unsigned char>(b[0]);
    const auto b1 = static_cast<unsigned char>(b[1]);
    if ((b0 == 0xFF && b1 == 0xFE) || (b0 == 0xFE && b1 == 0xFF) || b0 == 0 || b1 == 0) {
        m_expat = std::make_unique<ExpatScanner>(m_handler); // replaced by toExpat
        return Step::Done;
    }
    std::size_t at = 0;
    if (couldStartWith(b, 0, "\xEF\xBB\xBF")) {
        return Step::Incomplete;
    }
    if (startsWith(b, 0, "\xEF\xBB\xBF")) {
        at = 3;
    }
    if (couldStartWith(b, at, "<?xml ")) {
        return Step::Incomplete;
    }
    if (!startsWith(b, at, "<?xml") || at + 5 >= b.size() || !isSpace(b[at + 5])) {
        m_started = true;
        pos = at;
        return Step::Done;
    }
    const auto close = b.find("?>", at);
    if (close == std::string_view::npos) {
        if (b.size() > 4096) {
            error(base + at, "XML declaration not well-formed");
            return Step::Failed;
        }
        return Step::Incomplete;
    }
    // Pseudo-attributes in their fixed order: version, then encoding, then standalone.
    const std::string_view body = b.substr(at + 5, close - at - 5);
    std::size_t i = 0;
    std::string encoding;
    int seen = 0;
    static constexpr std::string_view kNames[] = {"version", "encoding", "standalone"};
    while (true) {
        const std::size_t spaceBegin = i;
        while (i < body.size() && isSpace(body[i])) {
            ++i;
        }
        if (i == body.size()) {
            break;
        }
        const std::size_t end = nameEnd(body, i);
        if (end == std::string_view::npos || end == i || i == spaceBegin) {
            error(base + at, "XML declaration not well-formed");
            return Step::Failed;
        }
        const std::string_view name = body.substr(i, end - i);
        int which = 0;
        while (which < 3 && kNames[which] != name) {
            ++which;
        }
        i = end;
        while (i < body.size() && isSpace(body[i])) {
            ++i;
        }
        if (which == 3 || which < seen || (which > 0 && seen == 0) || i >= body.size() ||
            body[i] != '=') {
            error(base + at, "XML declaration not well-formed");
            return Step::Failed;
        }
        ++i;
        while (i < body.size() && isSpace(body[i])) {
            ++i;
        }
        const char quote = i < body.size() ? body[i] : 0;
        const auto valueEnd =
            quote == '"' || quote == '\'' ? body.find(quote, i + 1) : std::string_view::npos;
        if (valueEnd == std::string_view::npos) {
            error(base + at, "XML declaration not well-formed");
            return Step::Failed;
        }
        const std::string_view value = body.substr(i + 1, valueEnd - i - 1);
        if (!declarationValueValid(which, value)) {
            error(base + at, "XML declaration not well-formed");
            return Step::Failed;
        }
        if (which == 1) {
            encoding = value;
        }
        seen = which + 1;
        i = valueEnd + 1;
    }
    if (seen == 0) {
        error(base + at, "XML declaration not well-formed");
        return Step::Failed;
    }
    std::transform(encoding.begin(), encoding.end(), encoding.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (!encoding.empty() && encoding != "UTF-8") {
        m_expat = std::make_unique<ExpatScanner>(m_handler); // replaced by toExpat
        return Step::Done;
    }
    m_started = true;
    pos = close + 2;
    return Step::Done;
}

Scanner::Step Scanner::text(std::string_view b, std::size_t& pos, std::uint64_t base, bool last) {
    const void* lt = std::memchr(b.data() + pos, '<', b.size() - pos);
    std::size_t end = lt != nullptr
                          ? static_cast<std::size_t>(static_cast<const char*>(lt) - b.data())
                          : b.size();
    if (lt == nullptr && !last) {
        // Text runs on into the next chunk: take what is certainly complete, leaving a tail
        // that may hold the start of a reference, a UTF-8 sequence, a line end or "]]>".
        if (end - pos < 64) {
            return Step::Incomplete;
        }
        std::size_t cut = end - 32;
        while (cut > pos && (static_cast<unsigned char>(b[cut]) & 0xC0U) == 0x80U) {
            --cut;
        }
        for (std::size_t i = cut; i > pos;) {
            --i;
            if (b[i] == ';') {
                break;
            }
            if (b[i] == '&') {
                cut = i;
                break;
            }
        }
        if (cut > pos && b[cut - 1] == '\r') {
            --cut;
        }
        if (cut == pos) {
            return Step::Incomplete;
        }
        end = cut;
    }
    const std::string_view raw = b.substr(pos, end - pos);
    if (m_open.empty()) {
        // Outside the root element only white space may stand.
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (!isSpace(raw[i])) {
                error(base + pos + i,
                      m_rootClosed ? "junk after document element" : "syntax error");
                return Step::Failed;
            }
        }
        pos = end;
        return Step::Done;
    }
    const std::size_t probeEnd = std::min(b.size(), end + 2);
    const auto cdataEnd = b.substr(pos, probeEnd - pos).find("]]>");
    if (cdataEnd != std::string_view::npos && cdataEnd < raw.size()) {
        error(base + pos + cdataEnd, "not well-formed (invalid token)");
        return Step::Failed;
    }
    if (!characterData(raw, base + pos, false)) {
        return Step::Failed;
    }
    pos = end;
    return Step::Done;
}

// Checks character data (text, or the inside of a CDATA section) and, when the handler wants
// characters, decodes it and hands it over.
bool Scanner::characterData(std::string_view raw, std::uint64_t at, bool cdata) {
    const bool emit = m_wantCharacters;
    if (emit) {
        m_text.clear();
    }
    std::size_t runBegin = 0;
    std::size_t i = 0;
    const std::size_t n = raw.size();
    while (i < n) {
        const char c = raw[i];
        if ((classOf(c) & kSpecial) == 0 || c == ']' || ((c == '<' || c == '&') && cdata) ||
            c == '\n' || c == '\t') {
            ++i;
            continue;
        }
        if (emit) {
            m_text.append(raw.data() + runBegin, i - runBegin);
        }
        if (c == '\r') {
            if (emit) {
                m_text += '\n';
            }
            i += (i + 1 < n && raw[i + 1] == '\n') ? 2 : 1;
        } else if (c == '&' && !cdata) {
            std::uint32_t value = 0;
            bool undefined = false;
            const std::size_t length = reference(raw.substr(i), value, undefined);
            if (length == 0) {
                return error(at + i,
                             undefined ? "undefined entity" : "not well-formed (invalid token)");
            }
            if (emit) {
                appendUtf8(m_text, value);
            }
            i += length;
        } else if (static_cast<unsigned char>(c) >= 0x80) {
            const std::size_t length = utf8Sequence(raw.substr(i));
            if (length == 0) {
                return error(at + i, "not well-formed (invalid token)");
            }
            if (emit) {
                m_text.append(raw.data() + i, length);
            }
            i += length;
        } else {
            return error(at + i, "not well-formed (invalid token)");
        }
        runBegin = i;
    }
    if (emit) {
        m_text.append(raw.data() + runBegin, n - runBegin);
        if (!m_text.empty()) {
            m_handler.characters(m_text);
        }
    }
    return !m_failed;
}

// Checks and decodes one attribute value in place (decoding only ever shortens it), with the
// normalisation XML prescribes: a literal tab, line feed or carriage return (or CR LF) reads
// as one space; references keep what they stand for. Returns the decoded length, or npos
// after an error.
std::size_t Scanner::attributeValue(char* value, std::size_t n, std::uint64_t at) {
    std::size_t i = 0;
    while (i < n && ((classOf(value[i]) & kSpecial) == 0 || value[i] == ']')) {
        ++i; // most values hold nothing to decode: no byte moves
    }
    std::size_t out = i;
    while (i < n) {
        const char c = value[i];
        if ((classOf(c) & kSpecial) == 0 || c == ']') {
            value[out++] = c;
            ++i;
        } else if (c == '\t' || c == '\n' || c == '\r') {
            value[out++] = ' ';
            i += (c == '\r' && i + 1 < n && value[i + 1] == '\n') ? 2 : 1;
        } else if (c == '&') {
            std::uint32_t code = 0;
            bool undefined = false;
            const std::size_t length = reference({value + i, n - i}, code, undefined);
            if (length == 0) {
                error(at + i, undefined ? "undefined entity" : "not well-formed (invalid token)");
                return std::string_view::npos;
            }
            std::string utf8;
            appendUtf8(utf8, code);
            std::memcpy(value + out, utf8.data(), utf8.size());
            out += utf8.size();
            i += length;
        } else if (static_cast<unsigned char>(c) >= 0x80) {
            const std::size_t length = utf8Sequence({value + i, n - i});
            if (length == 0) {
                error(at + i, "not well-formed (invalid token)");
                return std::string_view::npos;
            }
            std::memmove(value + out, value + i, length);
            out += length;
            i += length;
        } else {
            error(at + i, "not well-formed (invalid token)");
            return std::string_view::npos;
        }
    }
    return out;
}

Scanner::Step Scanner::markup(std::string_view b, std::size_t& pos, std::uint64_t base) {
    if (pos + 1 >= b.size()) {
        return Step::Incomplete;
    }
    const char next = b[pos + 1];
    if (next == '/') {
        return endTag(b, pos, base);
    }
    if (next == '?') {
        const auto close = b.find("?>", pos + 2);
        if (close == std::string_view::npos) {
            return Step::Incomplete;
        }
        const std::size_t targetEnd = nameEnd(b, pos + 2);
        const std::string_view target = b.substr(pos + 2, targetEnd - pos - 2);
        if (targetEnd == pos + 2 || targetEnd > close ||
            (targetEnd < close && !isSpace(b[targetEnd])) || target.find(':') != target.npos) {
            error(base + pos, "not well-formed (invalid token)");
            return Step::Failed;
        }
        if (text::equalsIgnoringAsciiCase(target, "xml")) {
            error(base + pos, "XML or text declaration not at start of entity");
            return Step::Failed;
        }
        if (const std::size_t bad = firstInvalidCharacter(b, targetEnd, close);
            bad != std::string_view::npos) {
            error(base + bad, "not well-formed (invalid token)");
            return Step::Failed;
        }
        pos = close + 2;
        return Step::Done;
    }
    if (next == '!') {
        if (couldStartWith(b, pos, "<!--") || couldStartWith(b, pos, "<![CDATA[") ||
            couldStartWith(b, pos, "<!DOCTYPE")) {
            return Step::Incomplete;
        }
        if (startsWith(b, pos, "<!--")) {
            const auto close = b.find("--", pos + 4);
            if (close == std::string_view::npos || close + 2 >= b.size()) {
                return Step::Incomplete;
            }
            if (b[close + 2] != '>') {
                error(base + close, "not well-formed (invalid token)");
                return Step::Failed;
            }
            if (const std::size_t bad = firstInvalidCharacter(b, pos + 4, close);
                bad != std::string_view::npos) {
                error(base + bad, "not well-formed (invalid token)");
                return Step::Failed;
            }
            pos = close + 3;
            return Step::Done;
        }
        if (startsWith(b, pos, "<![CDATA[")) {
            if (m_open.empty()) {
                error(base + pos, "not well-formed (invalid token)");
                return Step::Failed;
            }
            const auto close = b.find("]]>", pos + 9);
            if (close == std::string_view::npos) {
                return Step::Incomplete;
            }
            if (!characterData(b.substr(pos + 9, close - pos - 9), base + pos + 9, true)) {
                return Step::Failed;
            }
            pos = close + 3;
            return Step::Done;
        }
        if (startsWith(b, pos, "<!DOCTYPE")) {
            fail({ErrorCode::ResourceLimit, "a part holds a document type declaration"});
            return Step::Failed;
        }
        error(base + pos, "not well-formed (invalid token)");
        return Step::Failed;
    }
    if (m_rootClosed) {
        error(base + pos, "junk after document element");
        return Step::Failed;
    }
    return startTag(b, pos, base);
}

bool Scanner::resolve(std::string_view qname, bool element, QName& out, std::uint64_t at) {
    std::string_view prefix, local;
    if (!splitQName(qname, prefix, local)) {
        error(at, "not well-formed (invalid token)");
        return false;
    }
    if (prefix.empty()) {
        out.local = local;
        out.uri = element && m_default != 0 ? std::string_view(m_bindings[m_default - 1].uri)
                                            : std::string_view();
        return true;
    }
    if (prefix == "xml") {
        out = {kXmlNamespace, local};
        return true;
    }
    for (auto it = m_bindings.rbegin(); it != m_bindings.rend(); ++it) {
        if (it->prefix == prefix) {
            out = {it->uri, local};
            return true;
        }
    }
    error(at, "unbound prefix");
    return false;
}

// Takes the namespace declarations among a start tag's attributes into scope.
bool Scanner::bindNamespaces(std::uint64_t at) {
    for (const RawAttribute& attribute : m_raw) {
        if (!attribute.declaration) {
            continue;
        }
        const std::string_view name = attribute.name;
        const char* value = attribute.value;
        if (std::strchr(value, kSeparator) != nullptr) {
            // The separator in reported names cannot stand in a namespace name.
            return error(at, "syntax error");
        }
        if (name.size() == 5) {
            m_bindings.push_back({std::string(), value});
            m_default = m_bindings.size();
        } else {
            const std::string_view prefix = name.substr(6);
            const std::string_view uri = value;
            if (prefix.empty() || (classOf(prefix[0]) & kNameStart) == 0) {
                return error(at, "not well-formed (invalid token)");
            }
            if (uri.empty() || prefix == "xmlns" || prefix.find(':') != prefix.npos ||
                (prefix == "xml") != (uri == kXmlNamespace) ||
                (uri == "http://www.w3.org/2000/xmlns/")) {
                return error(at, "cannot undeclare or reserve a namespace prefix");
            }
            m_bindings.push_back({std::string(prefix), std::string(uri)});
        }
    }
    return true;
}

// True when the kept attributes (resolved names at m_attributes) and the namespace
// declarations (as written) of a start tag all differ.
bool Scanner::distinctAttributes(std::size_t kept) {
    const bool prefixed = std::ranges::any_of(
        m_raw, [](const RawAttribute& a) { return a.name.find(':') != std::string_view::npos; });
    if (!prefixed && m_raw.size() <= 8) {
        // The usual case: no prefixes, so names as written are names resolved.
        for (std::size_t i = 0; i < m_raw.size(); ++i) {
            for (std::size_t j = i + 1; j < m_raw.size(); ++j) {
                if (m_raw[i].name == m_raw[j].name) {
                    return false;
                }
            }
        }
        return true;
    }
    m_seenNames.clear();
    for (std::size_t k = 0; k < kept; ++k) {
        m_seenNames.emplace_back(m_attributes[2 * k]);
    }
    for (const RawAttribute& attribute : m_raw) {
        if (attribute.declaration) {
            m_seenNames.push_back(attribute.name);
        }
    }
    if (m_seenNames.size() <= 8) {
        for (std::size_t i = 0; i < m_seenNames.size(); ++i) {
            for (std::size_t j = i + 1; j < m_seenNames.size(); ++j) {
                if (m_seenNames[i] == m_seenNames[j]) {
                    return false;
                }
            }
        }
        return true;
    }
    std::sort(m_seenNames.begin(), m_seenNames.end());
    return std::adjacent_find(m_seenNames.begin(), m_seenNames.end()) == m_seenNames.end();
}

Scanner::Step Scanner::startTag(std::string_view b, std::size_t& pos, std::uint64_t base) {
    const std::size_t nameBegin = pos + 1;
    std::size_t i = nameEnd(b, nameBegin);
    if (i == std::string_view::npos) {
        return Step::Incomplete;
    }
    if (i == nameBegin) {
        error(base + pos, "not well-formed (invalid token)");
        return Step::Failed;
    }
    const std::string_view qname = b.substr(nameBegin, i - nameBegin);
    // First the tag's structure, as offsets into b; nothing is copied until it is complete.
    m_raw.clear();
    bool empty = false;
    bool declarations = false;
    while (true) {
        const std::size_t spaceBegin = i;
        while (i < b.size() && isSpace(b[i])) {
            ++i;
        }
        if (i >= b.size()) {
            return Step::Incomplete;
        }
        if (b[i] == '>') {
            ++i;
            break;
        }
        if (b[i] == '/') {
            if (i + 1 >= b.size()) {
                return Step::Incomplete;
            }
            if (b[i + 1] != '>') {
                error(base + i, "not well-formed (invalid token)");
                return Step::Failed;
            }
            i += 2;
            empty = true;
            break;
        }
        RawAttribute attribute;
        attribute.nameBegin = i;
        attribute.nameEnd = nameEnd(b, i);
        if (attribute.nameEnd == std::string_view::npos) {
            return Step::Incomplete;
        }
        if (attribute.nameEnd == i || i == spaceBegin) {
            error(base + i, "not well-formed (invalid token)");
            return Step::Failed;
        }
        i = attribute.nameEnd;
        while (i < b.size() && isSpace(b[i])) {
            ++i;
        }
        if (i >= b.size()) {
            return Step::Incomplete;
        }
        if (b[i] != '=') {
            error(base + i, "not well-formed (invalid token)");
            return Step::Failed;
        }
        ++i;
        while (i < b.size() && isSpace(b[i])) {
            ++i;
        }
        if (i >= b.size()) {
            return Step::Incomplete;
        }
        const char quote = b[i];
        if (quote != '"' && quote != '\'') {
            error(base + i, "not well-formed (invalid token)");
            return Step::Failed;
        }
        const void* close = std::memchr(b.data() + i + 1, quote, b.size() - i - 1);
        if (close == nullptr) {
            return Step::Incomplete;
        }
        attribute.valueBegin = i + 1;
        attribute.valueEnd = static_cast<std::size_t>(static_cast<const char*>(close) - b.data());
        attribute.name = b.substr(attribute.nameBegin, attribute.nameEnd - attribute.nameBegin);
        attribute.declaration = attribute.name.starts_with("xmlns") &&
                                (attribute.name.size() == 5 || attribute.name[5] == ':');
        declarations = declarations || attribute.declaration;
        m_raw.push_back(attribute);
        i = attribute.valueEnd + 1;
    }
    const Span tag{base + pos, base + i};
    if (m_open.size() >= kMaxDepth) {
        fail({ErrorCode::ResourceLimit, "XML elements nested too deeply"});
        return Step::Failed;
    }
    // Then one copy of the tag, in which each value is decoded in place and each name and value
    // ends with a NUL where its "=" or closing quote stood.
    if (!m_raw.empty()) {
        m_tagCopy.assign(b.data() + pos, i - pos);
        char* copy = m_tagCopy.data();
        for (RawAttribute& attribute : m_raw) {
            char* value = copy + (attribute.valueBegin - pos);
            const std::size_t length = attributeValue(
                value, attribute.valueEnd - attribute.valueBegin, base + attribute.valueBegin);
            if (length == std::string_view::npos) {
                return Step::Failed;
            }
            value[length] = '\0';
            copy[attribute.nameEnd - pos] = '\0';
            attribute.value = value;
        }
    }
    Open open;
    open.bindings = m_bindings.size();
    open.defaultBinding = m_default;
    open.nameBegin = m_names.size();
    open.nameSize = qname.size();
    open.tag = tag;
    if (declarations && !bindNamespaces(tag.begin)) {
        return Step::Failed;
    }
    QName element;
    if (!resolve(qname, true, element, tag.begin)) {
        return Step::Failed;
    }
    open.uri = element.uri;
    open.localBegin = qname.size() - element.local.size();
    // The attributes as expat reports them: namespace declarations left out, a prefixed name
    // as "uri local", an unprefixed one as it stands.
    m_attributeBytes.clear();
    m_nameOffsets.clear();
    for (const RawAttribute& attribute : m_raw) {
        if (attribute.declaration) {
            continue;
        }
        QName name;
        if (!resolve(attribute.name, false, name, tag.begin)) {
            return Step::Failed;
        }
        if (name.uri.empty()) {
            m_nameOffsets.push_back(std::string::npos); // the name as written, in m_tagCopy
        } else {
            m_nameOffsets.push_back(m_attributeBytes.size());
            m_attributeBytes.append(name.uri);
            m_attributeBytes += kSeparator;
            m_attributeBytes.append(name.local);
            m_attributeBytes += '\0';
        }
    }
    m_attributes.clear();
    std::size_t kept = 0;
    for (const RawAttribute& attribute : m_raw) {
        if (attribute.declaration) {
            continue;
        }
        const std::size_t offset = m_nameOffsets[kept++];
        m_attributes.push_back(offset == std::string::npos
                                   ? m_tagCopy.data() + (attribute.nameBegin - pos)
                                   : m_attributeBytes.data() + offset);
        m_attributes.push_back(attribute.value);
    }
    m_attributes.push_back(nullptr);
    // No two attributes may have the same name, after namespaces are resolved and (for the
    // declarations) as written.
    if (m_raw.size() > 1 && !distinctAttributes(kept)) {
        error(tag.begin, "duplicate attribute");
        return Step::Failed;
    }
    m_names.append(qname);
    m_open.push_back(open);
    m_rootSeen = true;
    pos = i;
    m_skipLimit = empty ? 0 : base + b.size();
    m_handler.startElement(element, m_attributes.data(), tag);
    m_skipLimit = 0;
    if (m_failed) {
        return Step::Failed;
    }
    if (m_skipTo != 0 && !skip(empty ? 0 : base + b.size(), tag.end, base, pos)) {
        return Step::Failed;
    }
    if (empty) {
        m_handler.endElement(element, Span{tag.end, tag.end});
        if (m_skipTo != 0 && !skip(0, tag.end, base, pos)) {
            return Step::Failed; // nothing follows an empty element's tag within it
        }
        m_open.pop_back();
        m_names.resize(open.nameBegin);
        if (m_bindings.size() != open.bindings) {
            m_bindings.resize(open.bindings);
        }
        m_default = open.defaultBinding;
        if (m_open.empty()) {
            m_rootClosed = true;
        }
        if (m_failed) {
            return Step::Failed;
        }
    }
    return Step::Done;
}

// Carries out a handler's skipContent after the tag that ends at `after`.
bool Scanner::skip(std::uint64_t limit, std::uint64_t after, std::uint64_t base, std::size_t& pos) {
    const std::uint64_t to = std::exchange(m_skipTo, 0);
    if (to <= after || to > limit) {
        // A handler's mistake; failing the part keeps the file as it was.
        return error(after, "content skipped beyond the bytes at hand");
    }
    pos = static_cast<std::size_t>(to - base);
    return true;
}

Scanner::Step Scanner::endTag(std::string_view b, std::size_t& pos, std::uint64_t base) {
    const std::size_t nameBegin = pos + 2;
    std::size_t i = nameEnd(b, nameBegin);
    if (i == std::string_view::npos) {
        return Step::Incomplete;
    }
    const std::string_view qname = b.substr(nameBegin, i - nameBegin);
    while (i < b.size() && isSpace(b[i])) {
        ++i;
    }
    if (i >= b.size()) {
        return Step::Incomplete;
    }
    if (b[i] != '>' || qname.empty()) {
        error(base + i, "not well-formed (invalid token)");
        return Step::Failed;
    }
    ++i;
    if (m_open.empty() || std::string_view(m_names).substr(m_open.back().nameBegin) != qname) {
        error(base + pos, "mismatched tag");
        return Step::Failed;
    }
    const Open open = m_open.back();
    const QName element{open.uri, qname.substr(open.localBegin)}; // resolved at the start tag
    m_open.pop_back();
    m_names.resize(open.nameBegin);
    const Span tag{base + pos, base + i};
    pos = i;
    m_skipLimit = m_open.empty() ? 0 : base + b.size();
    m_handler.endElement(element, tag);
    m_skipLimit = 0;
    if (m_skipTo != 0 && !skip(m_open.empty() ? 0 : base + b.size(), tag.end, base, pos)) {
        return Step::Failed;
    }
    if (m_bindings.size() != open.bindings) {
        m_bindings.resize(open.bindings);
    }
    m_default = open.defaultBinding;
    if (m_open.empty()) {
        m_rootClosed = true;
    }
    return m_failed ? Step::Failed : Step::Done;
}

} // namespace engine::xml
