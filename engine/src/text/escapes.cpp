// The _xHHHH_ escapes of cell text (ECMA-376 Part 1, 22.9.2.19 ST_Xstring) and UTF-16 lengths.
// Matching and replacement are in text_replace.cpp.
#include "text_replace.h"

#include "utf8.h"

#include <cstring>

namespace engine::text {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// The value of the escape "_xHHHH_" at s[i] (exactly four hex digits, either case; the 'x'
// lower case), or -1 when there is none.
long escapeAt(std::string_view s, std::size_t i) {
    if (s.size() - i < 7 || s[i] != '_' || s[i + 1] != 'x' || s[i + 6] != '_') {
        return -1;
    }
    long value = 0;
    for (std::size_t k = 2; k < 6; ++k) {
        const int digit = hexValue(s[i + k]);
        if (digit < 0) {
            return -1;
        }
        value = value * 16 + digit;
    }
    return value;
}

// "_x" and four hex digits at s[i], the start of an escape whatever follows.
bool escapeHeadAt(std::string_view s, std::size_t i) {
    if (s.size() - i < 6 || s[i] != '_' || s[i + 1] != 'x') {
        return false;
    }
    for (std::size_t k = 2; k < 6; ++k) {
        if (hexValue(s[i + k]) < 0) {
            return false;
        }
    }
    return true;
}

// Characters that an XML 1.0 document cannot hold as they are (production Char, plus CR,
// which XML parsers turn into LF), and encoded surrogates.
bool mustEscape(char32_t c) {
    return (c < 0x20 && c != 0x09 && c != 0x0A) || (c >= 0xD800 && c <= 0xDFFF) || c == 0xFFFE ||
           c == 0xFFFF;
}

void appendEscape(std::string& out, char32_t c) {
    static constexpr std::string_view kHex = "0123456789ABCDEF";
    out += "_x";
    for (int shift = 12; shift >= 0; shift -= 4) {
        out.push_back(kHex[(c >> shift) & 0xF]);
    }
    out.push_back('_');
}

} // namespace

void decodeEscapes(std::string_view stored, std::string& out) {
    out.clear();
    if (stored.find('_') == std::string_view::npos) {
        out.append(stored);
        return;
    }
    out.reserve(stored.size());
    for (std::size_t i = 0; i < stored.size();) {
        const long value = escapeAt(stored, i);
        if (value < 0) {
            out.push_back(stored[i]);
            ++i;
            continue;
        }
        auto c = static_cast<char32_t>(value);
        i += 7;
        if (c >= 0xD800 && c <= 0xDBFF && i < stored.size()) {
            // A UTF-16 surrogate pair written as two escapes is one character.
            const long low = escapeAt(stored, i);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + static_cast<char32_t>(low - 0xDC00);
                i += 7;
            }
        }
        // An unpaired surrogate stays as its three-byte form, so that encoding writes the
        // same escape back.
        utf8::append(out, c);
    }
}

std::string decodeEscapes(std::string_view stored) {
    std::string out;
    decodeEscapes(stored, out);
    return out;
}

void encodeEscapes(std::string_view text, std::string& out) {
    out.clear();
    bool plain = true;
    for (const char ch : text) {
        const auto b = static_cast<unsigned char>(ch);
        if ((b < 0x20 && b != 0x09 && b != 0x0A) || b == '_' || b == 0xED || b == 0xEF) {
            plain = false;
            break;
        }
    }
    if (plain) {
        out.append(text);
        return;
    }
    out.reserve(text.size() + 16);
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == '_' && escapeHeadAt(text, i) && i + 6 < text.size()) {
            // The underscore would start an escape once written: either "_xHHHH_" is in the
            // text, or the character after "_xHHHH" is itself written as an escape.
            const char32_t next = utf8::decode(text, i + 6).value;
            if (text[i + 6] == '_' || mustEscape(next)) {
                appendEscape(out, U'_');
                ++i;
                continue;
            }
        }
        const utf8::Unit unit = utf8::decode(text, i);
        if (mustEscape(unit.value)) {
            appendEscape(out, unit.value);
        } else {
            out.append(text, i, unit.length);
        }
        i += unit.length;
    }
}

std::string encodeEscapes(std::string_view text) {
    std::string out;
    encodeEscapes(text, out);
    return out;
}

bool needsSpacePreserve(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    if (isSpace(text.front()) || isSpace(text.back())) {
        return true;
    }
    return text.find_first_of("\t\n\r") != std::string_view::npos ||
           text.find("  ") != std::string_view::npos;
}

std::size_t utf16Length(std::string_view utf8Text) {
    std::size_t length = 0;
    for (std::size_t i = 0; i < utf8Text.size();) {
        if (static_cast<unsigned char>(utf8Text[i]) < 0x80) {
            ++length;
            ++i;
            continue;
        }
        const utf8::Unit unit = utf8::decode(utf8Text, i);
        length += (unit.value >= 0x10000 && unit.value < utf8::kOpaqueByteBase) ? 2 : 1;
        i += unit.length;
    }
    return length;
}

} // namespace engine::text
