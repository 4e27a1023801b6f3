// Date and time number formats: the built-in ids and a scan of format codes.
#include "date_formats.h"

#include "text/ascii.h"

namespace engine::formula {

namespace {

using text::asciiLower;

bool startsWithIgnoringCase(std::string_view s, std::size_t i, std::string_view word) {
    return text::startsWithIgnoringAsciiCase(s.substr(i), word);
}

// [h], [hh], [m], [mm], [s], [ss]: elapsed time.
bool isElapsedTime(std::string_view inside) {
    if (inside.empty()) {
        return false;
    }
    const char first = asciiLower(inside[0]);
    if (first != 'h' && first != 'm' && first != 's') {
        return false;
    }
    for (const char c : inside) {
        if (asciiLower(c) != first) {
            return false;
        }
    }
    return true;
}

} // namespace

bool isBuiltInDateFormat(int numFmtId) {
    return (numFmtId >= 14 && numFmtId <= 22) || (numFmtId >= 27 && numFmtId <= 36) ||
           (numFmtId >= 45 && numFmtId <= 47) || (numFmtId >= 50 && numFmtId <= 58);
}

bool isDateFormatCode(std::string_view code) {
    for (std::size_t i = 0; i < code.size();) {
        const char c = code[i];
        if (c == '"') {
            const std::size_t close = code.find('"', i + 1);
            i = close == std::string_view::npos ? code.size() : close + 1;
        } else if (c == '\\' || c == '_' || c == '*') {
            i += 2; // an escaped character, a space as wide as one, a fill character
        } else if (c == '[') {
            const std::size_t close = code.find(']', i + 1);
            if (close == std::string_view::npos) {
                return false;
            }
            if (isElapsedTime(code.substr(i + 1, close - i - 1))) {
                return true;
            }
            i = close + 1; // a colour, a condition, a locale such as [$-409]
        } else if (startsWithIgnoringCase(code, i, "general")) {
            i += 7;
        } else if (startsWithIgnoringCase(code, i, "am/pm") ||
                   startsWithIgnoringCase(code, i, "a/p")) {
            return true;
        } else {
            const char l = asciiLower(c);
            if (l == 'd' || l == 'm' || l == 'y' || l == 'h' || l == 's') {
                return true;
            }
            // bb / bbbb: the Buddhist era year of Thai locales.
            if (l == 'b' && i + 1 < code.size() && asciiLower(code[i + 1]) == 'b') {
                return true;
            }
            ++i;
        }
    }
    return false;
}

bool isDateTimeFormat(int numFmtId, std::optional<std::string_view> formatCode) {
    return formatCode ? isDateFormatCode(*formatCode) : isBuiltInDateFormat(numFmtId);
}

} // namespace engine::formula
