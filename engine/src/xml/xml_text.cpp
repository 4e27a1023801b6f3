// XML escaping and the lexing of start tags that the parser has already accepted.
#include "xml_text.h"

namespace engine::xml {
namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

} // namespace

namespace {

enum class Escape { Text, TextKeepingCR, Attribute };

// The entity a character needs in element text, or nullptr. Attribute values also need
// quotes and whitespace escaped, since attribute-value normalisation (XML 1.0, 3.3.3) would
// turn a literal tab or line break into a space; and line-end handling (2.11) would turn a
// literal carriage return in text into a line feed.
const char* entityFor(char c, Escape mode) {
    const bool inAttribute = mode == Escape::Attribute;
    switch (c) {
    case '&':
        return "&amp;";
    case '<':
        return "&lt;";
    case '>':
        return "&gt;";
    case '"':
        return inAttribute ? "&quot;" : nullptr;
    case '\t':
        return inAttribute ? "&#9;" : nullptr;
    case '\n':
        return inAttribute ? "&#10;" : nullptr;
    case '\r':
        return mode != Escape::Text ? "&#13;" : nullptr;
    default:
        return nullptr;
    }
}

void appendEscaped(std::string& out, std::string_view text, Escape mode) {
    std::size_t from = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char* entity = entityFor(text[i], mode);
        if (entity == nullptr) {
            continue;
        }
        out.append(text, from, i - from);
        out.append(entity);
        from = i + 1;
    }
    out.append(text, from, text.size() - from);
}

} // namespace

void appendEscapedText(std::string& out, std::string_view text) {
    appendEscaped(out, text, Escape::Text);
}

void appendEscapedTextKeepingCR(std::string& out, std::string_view text) {
    appendEscaped(out, text, Escape::TextKeepingCR);
}

void appendEscapedAttribute(std::string& out, std::string_view text) {
    appendEscaped(out, text, Escape::Attribute);
}

std::string_view rawElementName(std::string_view tag) {
    if (tag.size() < 2) {
        return {};
    }
    std::size_t i = 1;
    if (i < tag.size() && tag[i] == '/') {
        ++i;
    }
    std::size_t end = i;
    while (end < tag.size() && !isSpace(tag[end]) && tag[end] != '>' && tag[end] != '/') {
        ++end;
    }
    return tag.substr(i, end - i);
}

std::optional<RawAttribute> findRawAttribute(std::string_view tag, std::string_view qname) {
    // The parser has checked the tag, so this only walks: name, "=", quoted value, repeated.
    std::size_t i = 1 + rawElementName(tag).size();
    while (i < tag.size()) {
        const std::size_t spaceBegin = i;
        while (i < tag.size() && isSpace(tag[i])) {
            ++i;
        }
        if (i >= tag.size() || tag[i] == '>' || tag[i] == '/') {
            return std::nullopt;
        }
        const std::size_t nameBegin = i;
        while (i < tag.size() && tag[i] != '=' && !isSpace(tag[i])) {
            ++i;
        }
        const std::string_view name = tag.substr(nameBegin, i - nameBegin);
        while (i < tag.size() && tag[i] != '"' && tag[i] != '\'') {
            ++i;
        }
        if (i >= tag.size()) {
            return std::nullopt;
        }
        const char quote = tag[i];
        const std::size_t valueBegin = ++i;
        while (i < tag.size() && tag[i] != quote) {
            ++i;
        }
        if (i >= tag.size()) {
            return std::nullopt;
        }
        const std::size_t valueEnd = i++;
        if (name == qname) {
            return RawAttribute{spaceBegin, i, valueBegin, valueEnd};
        }
    }
    return std::nullopt;
}

std::size_t attributeInsertPoint(std::string_view tag) {
    if (tag.empty()) {
        return 0;
    }
    std::size_t end = tag.size() - 1; // at ">"
    if (end > 0 && tag[end - 1] == '/') {
        --end;
    }
    // Keep white space before "/>" or ">" where it is: the new attribute goes before it.
    while (end > 0 && isSpace(tag[end - 1])) {
        --end;
    }
    return end;
}

} // namespace engine::xml
