// Telling and converting the encodings of delimited text. Windows-1252 is the code page that
// spreadsheet programs read a file without a mark in when it is not UTF-8, on Western systems.
#include "text_encoding.h"

#include "text/utf8.h"

#include <array>
#include <cstring>

namespace engine::delimited {
namespace {

// Windows-1252 bytes 0x80 to 0x9F; the five unassigned ones stand for themselves.
constexpr std::array<char16_t, 32> kHigh1252 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

int byteOf1252(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        return static_cast<int>(c);
    }
    for (std::size_t i = 0; i < kHigh1252.size(); ++i) {
        if (kHigh1252[i] == c) {
            return static_cast<int>(0x80 + i);
        }
    }
    return -1;
}

Status binaryAt(std::uint64_t offset) {
    return Error{ErrorCode::NotAWorkbook,
                 "the file is not text: it holds binary data at byte " + std::to_string(offset)};
}

// True when the 8 bytes of word hold one below 0x20 or one from 0x80 on (the bytes that need
// a closer look); the rest are plain printable ASCII.
bool needsLook(std::uint64_t word) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
    return ((word - kOnes * 0x20) | word) & kHighBits;
}

} // namespace

const char* encodingName(Encoding encoding) {
    switch (encoding) {
    case Encoding::Utf8:
        return "UTF-8";
    case Encoding::Utf8Bom:
        return "UTF-8 with byte order mark";
    case Encoding::Utf16LE:
        return "UTF-16 little-endian";
    case Encoding::Utf16BE:
        return "UTF-16 big-endian";
    case Encoding::Windows1252:
        return "Windows-1252";
    }
    return "";
}

Result<Encoding> encodingOfHead(std::string_view head) {
    if (head.starts_with("\xEF\xBB\xBF")) {
        return Encoding::Utf8Bom;
    }
    if (head.starts_with(std::string_view("\xFF\xFE\0\0", 4)) ||
        head.starts_with(std::string_view("\0\0\xFE\xFF", 4))) {
        return Error{ErrorCode::UnsupportedFormat, "UTF-32 text"};
    }
    if (head.starts_with("\xFF\xFE")) {
        return Encoding::Utf16LE;
    }
    if (head.starts_with("\xFE\xFF")) {
        return Encoding::Utf16BE;
    }
    return Encoding::Utf8;
}

std::size_t markLength(Encoding encoding) {
    switch (encoding) {
    case Encoding::Utf8Bom:
        return 3;
    case Encoding::Utf16LE:
    case Encoding::Utf16BE:
        return 2;
    case Encoding::Utf8:
    case Encoding::Windows1252:
        break;
    }
    return 0;
}

bool isBinaryByte(unsigned char byte) {
    return byte < 0x20 && byte != '\t' && byte != '\n' && byte != 0x0B && byte != 0x0C &&
           byte != '\r' && byte != 0x1A && byte != 0x1B;
}

Status Decoder::decode(std::string_view chunk, bool last, std::string& out) {
    Status status = m_encoding == Encoding::Utf16LE || m_encoding == Encoding::Utf16BE
                        ? utf16(chunk, last, out)
                        : utf8(chunk, last, out);
    m_offset += chunk.size();
    return status;
}

Status Decoder::utf8(std::string_view chunk, bool last, std::string& out) {
    std::string joined;
    std::uint64_t base = m_offset; // the file offset of input[0], after the mark
    std::string_view input = chunk;
    if (!m_carry.empty()) {
        joined = m_carry;
        joined.append(chunk);
        base -= m_carry.size();
        m_carry.clear();
        input = joined;
    }
    const bool latin = m_encoding == Encoding::Windows1252;
    std::size_t i = 0;
    while (i < input.size()) {
        if (i + 8 <= input.size()) {
            std::uint64_t word = 0;
            std::memcpy(&word, input.data() + i, 8);
            if (!needsLook(word)) {
                i += 8;
                continue;
            }
        }
        const auto b = static_cast<unsigned char>(input[i]);
        if (b < 0x80) {
            if (isBinaryByte(b)) {
                return binaryAt(base + i);
            }
            ++i;
            continue;
        }
        if (latin) {
            ++i; // every byte is a character; converted below
            continue;
        }
        const auto unit = text::utf8::decode(input, i);
        if (unit.value < text::utf8::kOpaqueByteBase) {
            i += unit.length;
            continue;
        }
        // Not UTF-8 here, or a sequence cut at the end of the chunk.
        if (!last && input.size() - i < 4) {
            const auto lead = b;
            const std::size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
            if (lead >= 0xC2 && lead <= 0xF4 && input.size() - i < need) {
                m_carry.assign(input.substr(i));
                input = input.substr(0, i);
                break;
            }
        }
        if (m_encoding == Encoding::Utf8Bom) {
            ++i; // marked as UTF-8: a stray byte is kept as it is
            continue;
        }
        return Error{ErrorCode::Corrupt, kNotUtf8};
    }
    if (!latin) {
        out.append(input);
        return Unit{};
    }
    // Windows-1252: every byte from 0x80 on becomes its character.
    for (const char ch : input) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x80) {
            out.push_back(ch);
        } else {
            text::utf8::append(out, b < 0xA0 ? static_cast<char32_t>(kHigh1252[b - 0x80])
                                             : static_cast<char32_t>(b));
        }
    }
    return Unit{};
}

Status Decoder::utf16(std::string_view chunk, bool last, std::string& out) {
    std::string joined = m_carry;
    joined.append(chunk);
    const std::uint64_t base = m_offset - m_carry.size();
    m_carry.clear();
    const bool little = m_encoding == Encoding::Utf16LE;
    auto unitAt = [&](std::size_t i) {
        const auto a = static_cast<unsigned char>(joined[i]);
        const auto b = static_cast<unsigned char>(joined[i + 1]);
        return static_cast<char32_t>(little ? a | (b << 8) : (a << 8) | b);
    };
    std::size_t i = 0;
    while (i + 2 <= joined.size()) {
        const char32_t u = unitAt(i);
        if (u < 0x80 && isBinaryByte(static_cast<unsigned char>(u))) {
            return binaryAt(base + i + 2);
        }
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 4 > joined.size() && !last) {
                break; // the low surrogate is in the next chunk
            }
            if (i + 4 <= joined.size()) {
                const char32_t low = unitAt(i + 2);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    text::utf8::append(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                    i += 4;
                    continue;
                }
            }
        }
        text::utf8::append(out, u);
        i += 2;
    }
    m_carry.assign(std::string_view(joined).substr(i));
    if (last && !m_carry.empty()) {
        return Error{ErrorCode::NotAWorkbook,
                     "the file is not text: UTF-16 with an odd number of bytes"};
    }
    return Unit{};
}

bool encode(Encoding encoding, std::string_view utf8, std::string& out) {
    if (encoding == Encoding::Utf8 || encoding == Encoding::Utf8Bom) {
        out.append(utf8);
        return true;
    }
    for (std::size_t i = 0; i < utf8.size();) {
        const auto unit = text::utf8::decode(utf8, i);
        i += unit.length;
        char32_t c = unit.value;
        if (encoding == Encoding::Windows1252) {
            const int byte = c >= text::utf8::kOpaqueByteBase ? -1 : byteOf1252(c);
            if (byte < 0) {
                return false;
            }
            out.push_back(static_cast<char>(byte));
            continue;
        }
        if (c >= text::utf8::kOpaqueByteBase) {
            return false;
        }
        const bool little = encoding == Encoding::Utf16LE;
        auto put = [&](char32_t unit16) {
            const char hi = static_cast<char>(unit16 >> 8);
            const char lo = static_cast<char>(unit16 & 0xFF);
            out.push_back(little ? lo : hi);
            out.push_back(little ? hi : lo);
        };
        if (c >= 0x10000) {
            c -= 0x10000;
            put(0xD800 + (c >> 10));
            put(0xDC00 + (c & 0x3FF));
        } else {
            put(c);
        }
    }
    return true;
}

} // namespace engine::delimited
