// Expat glue of the Scanner: byte positions of tags, refusal of DTDs, errors with line numbers.
#include "xml_scanner.h"

#include <expat.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace engine::xml {
namespace {

// Separates the namespace URI from the local name in names that expat reports. A URI
// cannot hold a space, so the split is unambiguous.
constexpr char kSeparator = ' ';

// Expat takes int lengths; large parts go in pieces.
constexpr std::size_t kMaxPiece = 1u << 20;

} // namespace

namespace {

// True when the NUL-terminated name equals text, without measuring the name first.
bool sameName(const char* name, std::string_view text) {
    for (const char c : text) {
        if (*name != c)
            return false;
        ++name;
    }
    return *name == 0;
}

} // namespace

const char* findAttribute(Attributes attributes, std::string_view local) {
    for (auto a = attributes; *a != nullptr; a += 2) {
        if (sameName(a[0], local))
            return a[1];
    }
    return nullptr;
}

const char* findAttribute(Attributes attributes, std::string_view uri, std::string_view local) {
    for (auto a = attributes; *a != nullptr; a += 2) {
        std::string_view name = a[0];
        if (name.size() == uri.size() + 1 + local.size() && name.starts_with(uri) &&
            name[uri.size()] == kSeparator && name.ends_with(local))
            return a[1];
    }
    return nullptr;
}

struct Scanner::Impl {
    XML_Parser parser = nullptr;
    ~Impl() {
        if (parser != nullptr)
            XML_ParserFree(parser);
    }
};

Scanner::Scanner(ScanHandler& handler) : m_impl(std::make_unique<Impl>()), m_handler(handler) {
    const XML_Char separator[2] = {kSeparator, 0};
    m_impl->parser = XML_ParserCreateNS(nullptr, separator[0]);
    if (m_impl->parser == nullptr) {
        m_failed = true;
        m_error = {ErrorCode::ResourceLimit, "out of memory for the XML parser"};
        return;
    }
    XML_Parser p = m_impl->parser;
    XML_SetUserData(p, this);
    XML_SetElementHandler(p, &Scanner::onStart, &Scanner::onEnd);
    XML_SetStartDoctypeDeclHandler(p, &Scanner::onDoctype);
    XML_SetEntityDeclHandler(p, &Scanner::onEntityDecl);
    XML_SetXmlDeclHandler(p, &Scanner::onXmlDecl);
    XML_SetParamEntityParsing(p, XML_PARAM_ENTITY_PARSING_NEVER);
}

Scanner::~Scanner() = default;

void Scanner::fail(Error error) {
    if (m_failed)
        return;
    m_failed = true;
    m_error = std::move(error);
    XML_StopParser(m_impl->parser, XML_FALSE);
}

void Scanner::wantCharacters(bool on) {
    XML_SetCharacterDataHandler(m_impl->parser, on ? &Scanner::onCharacters : nullptr);
}

Status Scanner::feed(std::string_view chunk, bool last) {
    if (m_failed)
        return m_error;
    if (m_fed == 0 && chunk.size() >= 2) {
        // A UTF-16 part starts with a byte order mark or with "<" followed by a zero byte.
        const auto b0 = static_cast<unsigned char>(chunk[0]);
        const auto b1 = static_cast<unsigned char>(chunk[1]);
        if ((b0 == 0xFF && b1 == 0xFE) || (b0 == 0xFE && b1 == 0xFF) || b0 == 0 || b1 == 0)
            m_utf8 = false;
    }
    do {
        const std::size_t n = std::min(chunk.size(), kMaxPiece);
        const bool final = last && n == chunk.size();
        const auto status =
            XML_Parse(m_impl->parser, chunk.data(), static_cast<int>(n), final ? 1 : 0);
        m_fed += n;
        chunk.remove_prefix(n);
        if (m_failed)
            return m_error;
        if (status != XML_STATUS_OK) {
            const XML_Parser p = m_impl->parser;
            m_failed = true;
            m_error = {ErrorCode::Corrupt,
                       "XML error at line " + std::to_string(XML_GetCurrentLineNumber(p)) +
                           ", column " + std::to_string(XML_GetCurrentColumnNumber(p)) + ": " +
                           XML_ErrorString(XML_GetErrorCode(p))};
            return m_error;
        }
    } while (!chunk.empty());
    return Unit{};
}

QName Scanner::split(const char* name) {
    std::string_view full = name;
    const auto cut = full.find(kSeparator);
    if (cut == std::string_view::npos)
        return {{}, full};
    return {full.substr(0, cut), full.substr(cut + 1)};
}

void Scanner::onStart(void* self, const char* name, const char** attributes) {
    auto& s = *static_cast<Scanner*>(self);
    if (s.m_failed)
        return;
    const XML_Parser p = s.m_impl->parser;
    const auto begin = static_cast<std::uint64_t>(XML_GetCurrentByteIndex(p));
    const Span tag{begin, begin + static_cast<std::uint64_t>(XML_GetCurrentByteCount(p))};
    if (s.m_open.size() >= kMaxDepth) {
        s.fail({ErrorCode::ResourceLimit, "XML elements nested too deeply"});
        return;
    }
    s.m_open.push_back(tag);
    s.m_handler.startElement(split(name), attributes, tag);
}

void Scanner::onEnd(void* self, const char* name) {
    auto& s = *static_cast<Scanner*>(self);
    if (s.m_failed)
        return;
    const XML_Parser p = s.m_impl->parser;
    const Span start = s.m_open.back();
    s.m_open.pop_back();
    const auto count = static_cast<std::uint64_t>(XML_GetCurrentByteCount(p));
    Span tag{start.end, start.end};
    if (count != 0) {
        const auto begin = static_cast<std::uint64_t>(XML_GetCurrentByteIndex(p));
        tag = {begin, begin + count};
    }
    s.m_handler.endElement(split(name), tag);
}

void Scanner::onCharacters(void* self, const char* text, int length) {
    auto& s = *static_cast<Scanner*>(self);
    if (!s.m_failed)
        s.m_handler.characters({text, static_cast<std::size_t>(length)});
}

void Scanner::onDoctype(void* self, const char*, const char*, const char*, int) {
    static_cast<Scanner*>(self)->fail(
        {ErrorCode::ResourceLimit, "a part holds a document type declaration"});
}

void Scanner::onEntityDecl(void* self, const char*, int, const char*, int, const char*, const char*,
                           const char*, const char*) {
    static_cast<Scanner*>(self)->fail({ErrorCode::ResourceLimit, "a part declares entities"});
}

void Scanner::onXmlDecl(void* self, const char*, const char* encoding, int) {
    if (encoding == nullptr)
        return;
    std::string e = encoding;
    std::transform(e.begin(), e.end(), e.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (e != "UTF-8" && e != "UTF8")
        static_cast<Scanner*>(self)->m_utf8 = false;
}

} // namespace engine::xml
