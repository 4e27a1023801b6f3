// Decoding UTF-8 one unit at a time, tolerant of bytes that are not UTF-8.
// Internal to the text library; the public functions are in text_replace.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace engine::text::utf8 {

/// Units at and above this value stand for single bytes that are not part of a well-formed
/// sequence: kOpaqueByteBase + byte. They match only the same byte and never fold.
inline constexpr char32_t kOpaqueByteBase = 0x110000;

struct Unit {
    char32_t value;     ///< a code point, or kOpaqueByteBase + byte
    std::size_t length; ///< bytes consumed, 1 to 4
};

/// The unit starting at s[i] (i < s.size()). Accepts the well-formed sequences of RFC 3629
/// and, in addition, encoded surrogates (ED A0..BF xx), which decodeEscapes produces for an
/// unpaired _xD800_-style escape so that it survives a round trip. Anything else yields one
/// opaque byte.
inline Unit decode(std::string_view s, std::size_t i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        return {b0, 1};
    }
    const std::size_t left = s.size() - i;
    auto cont = [&](std::size_t k) {
        return k < left && (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
    };
    auto bits = [&](std::size_t k) {
        return static_cast<char32_t>(static_cast<unsigned char>(s[i + k]) & 0x3F);
    };
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        if (cont(1)) {
            return {(static_cast<char32_t>(b0 & 0x1F) << 6) | bits(1), 2};
        }
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        if (cont(1) && cont(2)) {
            const char32_t c = (static_cast<char32_t>(b0 & 0x0F) << 12) | (bits(1) << 6) | bits(2);
            if (c >= 0x800) {
                return {c, 3};
            }
        }
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        if (cont(1) && cont(2) && cont(3)) {
            const char32_t c = (static_cast<char32_t>(b0 & 0x07) << 18) | (bits(1) << 12) |
                               (bits(2) << 6) | bits(3);
            if (c >= 0x10000 && c <= 0x10FFFF) {
                return {c, 4};
            }
        }
    }
    return {kOpaqueByteBase + b0, 1};
}

/// Appends the UTF-8 form of code point c (surrogates included, as three bytes).
template <class String>
void append(String& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

/// True when s holds only bytes below 0x80.
inline bool isAscii(std::string_view s) {
    unsigned char any = 0;
    for (const char ch : s) {
        any |= static_cast<unsigned char>(ch);
    }
    return any < 0x80;
}

} // namespace engine::text::utf8
