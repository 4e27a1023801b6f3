// Small pieces of XML syntax for splicing: escaping new text, and finding an attribute or the
// element name inside the raw bytes of a start tag that the parser has already checked.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace engine::xml {

/// Appends text as element content: "&", "<" and ">" become entity references.
void appendEscapedText(std::string& out, std::string_view text);
/// Appends text as element content that keeps a carriage return (as "&#13;"), which XML's
/// line-end handling would otherwise read back as a line feed.
void appendEscapedTextKeepingCR(std::string& out, std::string_view text);
/// Appends text as a double-quoted attribute value: also '"', and TAB, LF, CR as character
/// references so that attribute value normalisation gives them back.
void appendEscapedAttribute(std::string& out, std::string_view text);

/// Where one attribute sits in a start tag, as offsets into the tag's bytes.
struct RawAttribute {
    std::size_t begin = 0;      ///< the white space before the name
    std::size_t end = 0;        ///< after the closing quote
    std::size_t valueBegin = 0; ///< after the opening quote
    std::size_t valueEnd = 0;   ///< at the closing quote
};

/// Finds the attribute whose qualified name (as written, with any prefix) is qname in a
/// well-formed start tag such as `<c r="A1" t="s">`.
std::optional<RawAttribute> findRawAttribute(std::string_view tag, std::string_view qname);

/// The qualified element name of a start or end tag ("x:t" in `<x:t xml:space="preserve">`).
std::string_view rawElementName(std::string_view tag);

/// The offset in a start tag where a new attribute can go: before "/>" or ">".
std::size_t attributeInsertPoint(std::string_view tag);

} // namespace engine::xml
