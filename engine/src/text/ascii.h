// ASCII-only case handling, for names the file formats compare without regard to ASCII case
// (part names, extensions, stream names, format codes). Cell text is folded by case_folding.h.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace engine::text {

/// c with A-Z mapped to a-z; every other byte, UTF-8 ones included, as it is. Unlike
/// std::tolower it never depends on the locale.
constexpr char asciiLower(char c) noexcept {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

/// s with A-Z mapped to a-z.
inline std::string asciiLower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        c = asciiLower(c);
    }
    return out;
}

/// True when a and b differ at most in the ASCII case of their letters.
constexpr bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) noexcept {
    return std::ranges::equal(a, b, [](char x, char y) { return asciiLower(x) == asciiLower(y); });
}

/// True when s begins with prefix, regardless of ASCII case.
constexpr bool startsWithIgnoringAsciiCase(std::string_view s, std::string_view prefix) noexcept {
    return s.size() >= prefix.size() && equalsIgnoringAsciiCase(s.substr(0, prefix.size()), prefix);
}

} // namespace engine::text
