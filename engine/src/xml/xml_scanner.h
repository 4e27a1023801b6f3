// Event scanning of one XML part with expat, reporting where each tag lies in the input bytes
// so that callers can splice the part instead of writing it anew. No tree is built.
#pragma once

#include "engine/result.h"

#include <cstdint>
#include <memory>
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

/// Attributes as expat hands them over: name, value, name, value, ..., nullptr. Names are
/// "uri local" for prefixed attributes and the bare local name otherwise.
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

/// Feeds a part to expat chunk by chunk. A document type declaration is refused outright:
/// parts of a workbook never have one, and refusing it rules out external entities and
/// entity expansion (billion laughs) with memory bounded by the input.
class Scanner {
public:
    explicit Scanner(ScanHandler& handler);
    ~Scanner();
    Scanner(const Scanner&) = delete;
    Scanner& operator=(const Scanner&) = delete;

    /// Parses the next chunk; `last` marks the end of the part. After a failure every later
    /// call returns the same error. Errors: Corrupt (not well-formed, with line and column),
    /// ResourceLimit (a DTD, or nesting deeper than kMaxDepth).
    Status feed(std::string_view chunk, bool last);
    /// Parses a whole part held in memory.
    Status scanAll(std::string_view part) { return feed(part, true); }

    /// Lets a handler stop the scan with its own error; feed returns it.
    void fail(Error error);
    /// Turns character data events on or off (off by default; skipping them is faster).
    void wantCharacters(bool on);
    /// False when the part is not in UTF-8 (then byte offsets and new text would disagree).
    bool utf8() const { return m_utf8; }
    /// Bytes fed so far.
    std::uint64_t fed() const { return m_fed; }

    static constexpr std::size_t kMaxDepth = 256;

private:
    static void onStart(void* self, const char* name, const char** attributes);
    static void onEnd(void* self, const char* name);
    static void onCharacters(void* self, const char* text, int length);
    static void onDoctype(void* self, const char* name, const char* sysid, const char* pubid,
                          int hasInternalSubset);
    static void onXmlDecl(void* self, const char* version, const char* encoding, int standalone);
    static void onEntityDecl(void* self, const char* name, int isParameter, const char* value,
                             int length, const char* base, const char* systemId,
                             const char* publicId, const char* notation);
    static QName split(const char* name);

    struct Impl;
    std::unique_ptr<Impl> m_impl;
    ScanHandler& m_handler;
    std::vector<Span> m_open; // start tags of the open elements
    std::uint64_t m_fed = 0;
    bool m_utf8 = true;
    bool m_failed = false;
    Error m_error{ErrorCode::Corrupt, {}};
};

} // namespace engine::xml
