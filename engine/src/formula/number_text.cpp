// General number text and plain-number reading, both independent of the C locale (Qt sets
// the user's locale at start-up, which would turn "%G" into "0,1" in some languages).
#include "number_text.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace engine::formula {

std::string generalText(double value) {
    if (!std::isfinite(value)) {
        return "#NUM!";
    }
    if (value == 0) {
        return "0";
    }
    std::array<char, 64> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::general, 15);
    std::string text(buffer.data(), result.ptr);
    for (char& c : text) {
        if (c == 'e') {
            c = 'E';
        }
    }
    return text;
}

std::optional<double> readPlainNumber(std::string_view text) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    if (i < n && text[i] == '-') {
        ++i;
    }
    const std::size_t mantissaStart = i;
    std::size_t significantFirst = std::string_view::npos;
    std::size_t significantLast = 0;
    std::size_t digits = 0;
    std::size_t digitsBeforePoint = 0;
    bool point = false;
    for (; i < n; ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            if (c != '0') {
                if (significantFirst == std::string_view::npos) {
                    significantFirst = digits;
                }
                significantLast = digits;
            }
            ++digits;
            if (!point) {
                ++digitsBeforePoint;
            }
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (digits == 0) {
        return std::nullopt;
    }
    // "007" or "00.5": the zeros would be lost.
    if (digitsBeforePoint > 1 && text[mantissaStart] == '0') {
        return std::nullopt;
    }
    if (significantFirst != std::string_view::npos && significantLast - significantFirst + 1 > 15) {
        return std::nullopt;
    }
    if (i < n && (text[i] == 'E' || text[i] == 'e')) {
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-')) {
            ++i;
        }
        const std::size_t exponentStart = i;
        while (i < n && text[i] >= '0' && text[i] <= '9') {
            ++i;
        }
        if (i == exponentStart) {
            return std::nullopt;
        }
    }
    if (i != n) {
        return std::nullopt;
    }
    double value = 0;
    const auto result = std::from_chars(text.data(), text.data() + n, value);
    if (result.ec != std::errc() || result.ptr != text.data() + n || !std::isfinite(value)) {
        return std::nullopt;
    }
    if (significantFirst == std::string_view::npos) {
        return 0.0; // every digit zero, "-0" included
    }
    // Excel holds magnitudes from about 2.2E-308 to 9.99999999999999E+307.
    const double magnitude = std::fabs(value);
    if (magnitude < std::numeric_limits<double>::min() || magnitude > 9.99999999999999e307) {
        return std::nullopt;
    }
    return value;
}

} // namespace engine::formula
