// UTF-16 text of BIFF8 strings and the XLUnicodeString layout.
#include "unicode_string.h"

#include "bytes.h"
#include "text/utf8.h"

namespace engine::xls {

std::string toUtf8(std::u16string_view units) {
    std::string out;
    out.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        }
        text::utf8::append(out, c); // a lone surrogate keeps its three-byte form
    }
    return out;
}

std::u16string toUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto unit = text::utf8::decode(utf8, i);
        char32_t c = unit.value;
        if (c >= text::utf8::kOpaqueByteBase) {
            c = 0xFFFD; // never made by toUtf8; replacement texts are UTF-8
        }
        if (c >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
        i += unit.length;
    }
    return out;
}

bool fitsCompressed(std::u16string_view units) {
    for (char16_t u : units) {
        if (u > 0xFF) {
            return false;
        }
    }
    return true;
}

std::optional<std::u16string> readUnicodeString(std::string_view data, std::size_t& at) {
    if (at + 3 > data.size()) {
        return std::nullopt;
    }
    const std::size_t cch = load16(data.data() + at);
    const bool high = (static_cast<unsigned char>(data[at + 2]) & 0x01) != 0;
    at += 3;
    const std::size_t bytes = high ? 2 * cch : cch;
    if (at + bytes > data.size()) {
        return std::nullopt;
    }
    std::u16string units(cch, u'\0');
    for (std::size_t i = 0; i < cch; ++i) {
        units[i] = high ? static_cast<char16_t>(load16(data.data() + at + 2 * i))
                        : static_cast<char16_t>(static_cast<unsigned char>(data[at + i]));
    }
    at += bytes;
    return units;
}

void appendUnicodeString(std::string& out, std::u16string_view units) {
    const bool compressed = fitsCompressed(units);
    append16(out, static_cast<std::uint16_t>(units.size()));
    out.push_back(compressed ? '\0' : '\1');
    for (char16_t u : units) {
        if (compressed) {
            out.push_back(static_cast<char>(u));
        } else {
            append16(out, u);
        }
    }
}

std::vector<std::u16string> splitAtRuns(std::u16string_view units,
                                        const std::vector<FormatRun>& runs) {
    std::vector<std::u16string> pieces;
    std::size_t from = 0;
    for (const FormatRun& r : runs) {
        const std::size_t to =
            std::max<std::size_t>(from, std::min<std::size_t>(r.ich, units.size()));
        pieces.emplace_back(units.substr(from, to - from));
        from = to;
    }
    pieces.emplace_back(units.substr(from));
    return pieces;
}

RunsAfterEdit joinRuns(const std::vector<std::optional<std::string>>& pieces,
                       const std::vector<FormatRun>& runs) {
    RunsAfterEdit out;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (!pieces[i]) {
            continue;
        }
        if (i > 0) {
            const FormatRun run{static_cast<std::uint16_t>(out.text.size()), runs[i - 1].ifnt};
            if (!out.runs.empty() && out.runs.back().ich == run.ich) {
                out.runs.back() = run; // the later run decides from here on
            } else {
                out.runs.push_back(run);
            }
        }
        out.text += toUtf16(*pieces[i]);
    }
    while (!out.runs.empty() && out.runs.back().ich >= out.text.size()) {
        out.runs.pop_back();
    }
    return out;
}

} // namespace engine::xls
