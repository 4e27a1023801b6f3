// Event scanning of one XML part, reporting where each tag lies in the input bytes
// so that callers can splice the part instead of writing it anew. No tree is built.
#pragma once

#include "engine/result.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace engine::xml {

/// Byte offsets [begin, end) in the whole input of a part (not in one chunk).
struct Span {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
    std::uint64_t size() const { return end - begin; }
};

/// An element or attribute name with its namespace resolved: prefixes never matter.
struct QName {
    std::string_view uri;   ///< empty for no namespace
    std::string_view local; ///< the local part
};

/// Attributes as expat hands them over (the scanner keeps its form): name, value, name, value, ...,
/// nullptr. Names are "uri local" for prefixed attributes and the bare local name otherwise.
using Attributes = const char**;

/// The value of the unprefixed attribute `local`, or nullptr.
const char* findAttribute(Attributes attributes, std::string_view local);
/// The value of attribute `local` in namespace `uri`, or nullptr.
const char* findAttribute(Attributes attributes, std::string_view uri, std::string_view local);

/// The namespace of the xml: prefix (xml:space).
inline constexpr std::string_view kXmlNamespace = "http://www.w3.org/XML/1998/namespace";

class ScanHandler {
public:
    virtual ~ScanHandler() = default;
    /// tag: the whole start tag; for an empty element "<a/>" the whole element.
    virtual void startElement(const QName& name, Attributes attributes, Span tag) = 0;
    /// tag: the end tag; for an empty element an empty span at the end of its start tag.
    virtual void endElement(const QName& name, Span tag) = 0;
    /// Character data (entities and line ends already resolved), in pieces, only while the
    /// scanner's wantCharacters is on.
    virtual void characters(std::string_view text) { (void)text; }
};

class ExpatScanner;

/// Scans a part chunk by chunk with the engine's own parser, which is built for the one job of
/// locating tags in large worksheets: no copies of names, no per-character callbacks, and text
/// decoded only while a handler asks for it. It checks what an XML parser must (tags nest and
/// match, names, quoting, entities and character references, UTF-8, namespaces bound,
/// attributes unique, one root) and reports the same events that expat would; the tests
/// compare the two on generated and real parts. A document type declaration is refused
/// outright: parts of a workbook never have one, and refusing it rules out external entities
/// and entity expansion (billion laughs). Memory stays bounded by the longest tag. A part that
/// is not in UTF-8 goes to expat, which converts it.
class Scanner {
public:
    explicit Scanner(ScanHandler& handler);
    ~Scanner();
    Scanner(const Scanner&) = delete;
    Scanner& operator=(const Scanner&) = delete;

    /// Parses the next chunk; `last` marks the end of the part. After a failure every later
    /// call returns the same error. Errors: Corrupt (not well-formed, with line and column),
    /// ResourceLimit (a DTD, nesting deeper than kMaxDepth, a tag longer than kMaxToken).
    Status feed(std::string_view chunk, bool last);
    /// Parses a whole part held in memory.
    Status scanAll(std::string_view part) { return feed(part, true); }

    /// Lets a handler stop the scan with its own error; feed returns it.
    void fail(Error error);
    /// True once the scan has failed (or a handler failed it).
    bool failed() const { return m_failed; }
    /// Turns character data events on or off (off by default; skipping them is faster).
    void wantCharacters(bool on);
    /// False when the part is not in UTF-8 (then byte offsets and new text would disagree).
    bool utf8() const { return m_utf8; }
    /// Bytes fed so far.
    std::uint64_t fed() const { return m_fed; }

    /// During a startElement event of an element that is not empty, or an endElement event
    /// of an end tag inside the root: the input offset up to which the bytes after the tag are
    /// at hand, so that the handler may read them itself and skip them (skipContent). 0 when
    /// skipping is not possible (a part read through expat, or outside such an event).
    std::uint64_t skippableUntil() const { return m_skipLimit; }
    /// From such an event: the bytes after the tag, up to input offset `end` (at most
    /// skippableUntil()), count as read; no events are reported for them and the next event
    /// comes after `end`. The handler vouches that these bytes are well-formed content of the
    /// element open after the event: whole elements without namespace declarations, and
    /// character data.
    void skipContent(std::uint64_t end) { m_skipTo = end; }

    static constexpr std::size_t kMaxDepth = 256;
    /// The longest tag, comment, processing instruction or CDATA section accepted.
    static constexpr std::size_t kMaxToken = 64U << 20;

private:
    struct Binding {
        std::string prefix; // empty for the default namespace
        std::string uri;    // empty when the default namespace is undeclared
    };
    struct Open {
        std::size_t nameBegin = 0, nameSize = 0; // the qualified name in m_names
        std::size_t bindings = 0;                // m_bindings.size() before the start tag
        std::size_t defaultBinding = 0;          // m_default before the start tag
        Span tag;
        std::string_view uri;       // the resolved namespace, for the end tag
        std::size_t localBegin = 0; // where the local part starts in the qualified name
    };
    enum class Step { Done, Incomplete, Failed };

    // Parses buffer (which starts at input offset base) as far as complete tokens go; returns
    // how many bytes were consumed.
    std::size_t parse(std::string_view buffer, std::uint64_t base, bool last);
    void finishPending(std::string_view chunk, bool last);
    Step text(std::string_view buffer, std::size_t& pos, std::uint64_t base, bool last);
    Step markup(std::string_view buffer, std::size_t& pos, std::uint64_t base);
    Step startTag(std::string_view buffer, std::size_t& pos, std::uint64_t base);
    Step endTag(std::string_view buffer, std::size_t& pos, std::uint64_t base);
    Step declaration(std::string_view buffer, std::size_t& pos, std::uint64_t base);
    bool skip(std::uint64_t limit, std::uint64_t after, std::uint64_t base, std::size_t& pos);
    bool characterData(std::string_view raw, std::uint64_t at, bool cdata);
    std::size_t attributeValue(char* value, std::size_t n, std::uint64_t at);
    bool bindNamespaces(std::uint64_t at);
    bool resolve(std::string_view qname, bool element, QName& out, std::uint64_t at);
    bool distinctAttributes(std::size_t kept);
    bool toExpat(std::string_view buffer, bool last);
    bool error(std::uint64_t at, const char* what);
    void countLines(std::string_view consumed);

    ScanHandler& m_handler;
    std::unique_ptr<ExpatScanner> m_expat; // for a part that is not in UTF-8
    std::string m_pending;                 // the unfinished token at the end of the last chunk
    std::uint64_t m_fed = 0;
    bool m_utf8 = true;
    bool m_failed = false;
    bool m_wantCharacters = false;
    bool m_started = false; // the byte order mark and XML declaration are behind
    bool m_rootSeen = false, m_rootClosed = false;
    Error m_error{ErrorCode::Corrupt, {}};

    std::vector<Open> m_open;
    std::string m_names;            // qualified names of the open elements, end to end
    std::deque<Binding> m_bindings; // namespace declarations in scope, innermost last
    std::size_t m_default = 0;      // 1 + index of the default namespace binding; 0 for none
    // One attribute of the start tag being read: offsets into the buffer, and its name and
    // (once decoded in m_tagCopy) NUL-terminated value.
    struct RawAttribute {
        std::size_t nameBegin = 0, nameEnd = 0, valueBegin = 0, valueEnd = 0;
        std::string_view name;
        const char* value = nullptr;
        bool declaration = false; // xmlns or xmlns:prefix
    };
    std::vector<RawAttribute> m_raw;
    std::string m_tagCopy;        // the start tag, values decoded in place, NULs after each
    std::string m_attributeBytes; // "uri local" names of prefixed attributes
    std::vector<std::size_t> m_nameOffsets; // into m_attributeBytes; npos: unprefixed
    std::vector<const char*> m_attributes;
    std::vector<std::string_view> m_seenNames; // for the check of duplicate attributes
    std::string m_text;                        // decoded character data
    std::uint64_t m_skipLimit = 0;             // see skippableUntil
    std::uint64_t m_skipTo = 0;                // set by skipContent
    std::size_t m_retryAt = 0; // parse an unfinished token again once m_pending is this long
    // The buffer being parsed, for error positions; and the lines before it.
    std::string_view m_buffer;
    std::uint64_t m_base = 0;
    std::uint64_t m_lines = 1, m_lineStart = 0;
};

} // namespace engine::xml
