// The same scanning as Scanner, done by expat: the reference that the scanner's own parser is
// compared with in tests, and the parser for parts that are not in UTF-8 (UTF-16, or another
// declared encoding), which expat converts. Such parts can be read but never spliced.
#pragma once

#include "xml_scanner.h"

namespace engine::xml {

class ExpatScanner {
public:
    explicit ExpatScanner(ScanHandler& handler);
    ~ExpatScanner();
    ExpatScanner(const ExpatScanner&) = delete;
    ExpatScanner& operator=(const ExpatScanner&) = delete;

    /// As Scanner::feed.
    Status feed(std::string_view chunk, bool last);
    Status scanAll(std::string_view part) { return feed(part, true); }
    void fail(Error error);
    void wantCharacters(bool on);
    bool utf8() const { return m_utf8; }
    std::uint64_t fed() const { return m_fed; }

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
