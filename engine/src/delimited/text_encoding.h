// The encodings a delimited text file may be in, told from its first bytes, and the two-way
// conversion between them and UTF-8 that keeps every untouched byte as it was.
#pragma once

#include "engine/result.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace engine::delimited {

enum class Encoding {
    Utf8,        ///< no byte order mark, and every byte sequence is UTF-8
    Utf8Bom,     ///< EF BB BF
    Utf16LE,     ///< FF FE
    Utf16BE,     ///< FE FF
    Windows1252, ///< no mark, and bytes that are not UTF-8
};

/// The name a person knows the encoding by, for messages.
const char* encodingName(Encoding encoding);

/// The encoding the byte order mark at the start of head says, and the mark's length; a head
/// without a mark gives Utf8 (which may turn out to be Windows1252 further on).
/// Errors: UnsupportedFormat for a UTF-32 mark, which spreadsheet programs do not read as text.
Result<Encoding> encodingOfHead(std::string_view head);
std::size_t markLength(Encoding encoding);

/// Why a text is taken for a binary file: a NUL byte, or a control character that text files
/// do not hold (anything below 0x20 but TAB, LF, VT, FF, CR, SUB and ESC).
bool isBinaryByte(unsigned char byte);

/// Turns the bytes after the mark into UTF-8, chunk by chunk. UTF-8 comes out as it went in,
/// checked; Windows-1252 maps each byte to one character (the five unassigned bytes to the C1
/// controls of the same value, as Windows does), so that encoding gives every byte back;
/// UTF-16 unpaired surrogates come out in their three-byte form for the same reason.
class Decoder {
public:
    explicit Decoder(Encoding encoding) : m_encoding(encoding) {}
    /// Appends the UTF-8 of chunk to out. Errors: NotAWorkbook for a byte of binary data
    /// (detail with its offset in the file) or UTF-16 with an odd number of bytes; for
    /// Utf8 without a mark, Corrupt with kNotUtf8 as detail at the first sequence that is not
    /// UTF-8, so that the caller starts again in Windows1252.
    Status decode(std::string_view chunk, bool last, std::string& out);

private:
    Status utf8(std::string_view chunk, bool last, std::string& out);
    Status utf16(std::string_view chunk, bool last, std::string& out);
    Encoding m_encoding;
    std::uint64_t m_offset = 0; // bytes of the file decoded so far, after the mark
    std::string m_carry;        // an incomplete sequence at the end of the last chunk
};

inline constexpr const char* kNotUtf8 = "the text is not UTF-8";

/// Appends utf8 in the given encoding to out. False when a character has no form in it
/// (Windows-1252 holds only 251 characters); out is then incomplete.
bool encode(Encoding encoding, std::string_view utf8, std::string& out);

} // namespace engine::delimited
