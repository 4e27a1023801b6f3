// The reference parser behind ExpatScanner: byte positions of tags from expat, refusal of DTDs,
// errors with line numbers.
#include "expat_scanner.h"

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
constexpr std::size_t kMaxPiece = 1U << 20;

} // namespace

struct ExpatScanner::Impl {
    XML_Parser parser = nullptr;
    ~Impl() {
        if (parser != nullptr) {
            XML_ParserFree(parser);
        }
    }
};

ExpatScanner::ExpatScanner(ScanHandler& handler)
    : m_impl(std::make_unique<Impl>()), m_handler(handler) {
    m_impl->parser = XML_ParserCreateNS(nullptr, kSeparator);
    if (m_impl->parser == nullptr) {
        m_failed = true;
        m_error = {ErrorCode::ResourceLimit, "out of memory for the XML parser"};
        return;
    }
    XML_Parser p = m_impl->parser;
    XML_SetUserData(p, this);
    XML_SetElementHandler(p, &ExpatScanner::onStart, &ExpatScanner::onEnd);
    XML_SetStartDoctypeDeclHandler(p, &ExpatScanner::onDoctype);
    XML_SetEntityDeclHandler(p, &ExpatScanner::onEntityDecl);
    XML_SetXmlDeclHandler(p, &ExpatScanner::onXmlDecl);
    XML_SetParamEntityParsing(p, XML_PARAM_ENTITY_PARSING_NEVER);
}

ExpatScanner::~ExpatScanner() = default;

void ExpatScanner::fail(Error error) {
    if (m_failed) {
        return;
    }
    m_failed = true;
    m_error = std::move(error);
    XML_StopParser(m_impl->parser, XML_FALSE);
}

void ExpatScanner::wantCharacters(bool on) {
    XML_SetCharacterDataHandler(m_impl->parser, on ? &ExpatScanner::onCharacters : nullptr);
}

Status ExpatScanner::feed(std::string_view chunk, bool last) {
    if (m_failed) {
        return m_error;
    }
    if (m_fed == 0 && chunk.size() >= 2) {
        // A UTF-16 part starts with a byte order mark or with "<" followed by a zero byte.
        const auto b0 = static_cast<unsigned char>(chunk[0]);
        const auto b1 = static_cast<unsigned char>(chunk[1]);
        if ((b0 == 0xFF && b1 == 0xFE) || (b0 == 0xFE && b1 == 0xFF) || b0 == 0 || b1 == 0) {
            m_utf8 = false;
        }
    }
    do {
        const std::size_t n = std::min(chunk.size(), kMaxPiece);
        const bool final = last && n == chunk.size();
        const auto status =
            XML_Parse(m_impl->parser, chunk.data(), static_cast<int>(n), final ? 1 : 0);
        m_fed += n;
        chunk.remove_prefix(n);
        if (m_failed) {
            return m_error;
        }
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

QName ExpatScanner::split(const char* name) {
    std::string_view full = name;
    const auto cut = full.find(kSeparator);
    if (cut == std::string_view::npos) {
        return {{}, full};
    }
    return {full.substr(0, cut), full.substr(cut + 1)};
}

void ExpatScanner::onStart(void* self, const char* name, const char** attributes) {
    auto& s = *static_cast<ExpatScanner*>(self);
    if (s.m_failed) {
        return;
    }
    const XML_Parser p = s.m_impl->parser;
    const auto begin = static_cast<std::uint64_t>(XML_GetCurrentByteIndex(p));
    const Span tag{begin, begin + static_cast<std::uint64_t>(XML_GetCurrentByteCount(p))};
    if (s.m_open.size() >= Scanner::kMaxDepth) {
        s.fail({ErrorCode::ResourceLimit, "XML elements nested too deeply"});
        return;
    }
    s.m_open.push_back(tag);
    s.m_handler.startElement(split(name), attributes, tag);
}

void ExpatScanner::onEnd(void* self, const char* name) {
    auto& s = *static_cast<ExpatScanner*>(self);
    if (s.m_failed) {
        return;
    }
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

void ExpatScanner::onCharacters(void* self, const char* text, int length) {
    auto& s = *static_cast<ExpatScanner*>(self);
    if (!s.m_failed) {
        s.m_handler.characters({text, static_cast<std::size_t>(length)});
    }
}

void ExpatScanner::onDoctype(void* self, const char* /*unused*/, const char* /*unused*/,
                             const char* /*unused*/, int /*unused*/) {
    static_cast<ExpatScanner*>(self)->fail(
        {ErrorCode::ResourceLimit, "a part holds a document type declaration"});
}

void ExpatScanner::onEntityDecl(void* self, const char* /*unused*/, int /*unused*/,
                                const char* /*unused*/, int /*unused*/, const char* /*unused*/,
                                const char* /*unused*/, const char* /*unused*/,
                                const char* /*unused*/) {
    static_cast<ExpatScanner*>(self)->fail({ErrorCode::ResourceLimit, "a part declares entities"});
}

void ExpatScanner::onXmlDecl(void* self, const char* /*unused*/, const char* encoding,
                             int /*unused*/) {
    if (encoding == nullptr) {
        return;
    }
    std::string e = encoding;
    std::transform(e.begin(), e.end(), e.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (e != "UTF-8" && e != "UTF8") {
        static_cast<ExpatScanner*>(self)->m_utf8 = false;
    }
}

} // namespace engine::xml
