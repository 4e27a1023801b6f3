// Tests of the encodings of delimited text: telling them, decoding in chunks of any size, and
// encoding giving every byte back.
#include "delimited/text_encoding.h"

#include <gtest/gtest.h>

#include <string>

namespace engine::delimited {
namespace {

std::string decodeInChunks(Encoding encoding, std::string_view bytes, std::size_t chunk,
                           Status* status = nullptr) {
    Decoder decoder(encoding);
    std::string out;
    for (std::size_t at = 0;; at += chunk) {
        const bool last = at + chunk >= bytes.size();
        auto s = decoder.decode(bytes.substr(std::min(at, bytes.size()), chunk), last, out);
        if (!s || last) {
            if (status != nullptr) {
                *status = s;
            }
            return out;
        }
    }
}

struct RoundTrip {
    Encoding encoding;
    std::string bytes; // after the mark
    std::string utf8;
};

class EncodingRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(EncodingRoundTrip, DecodesInAnyChunksAndEncodesBack) {
    const RoundTrip& c = GetParam();
    for (std::size_t chunk : {1U, 2U, 3U, 5U, 1000U}) {
        Status status = Unit{};
        EXPECT_EQ(decodeInChunks(c.encoding, c.bytes, chunk, &status), c.utf8) << chunk;
        EXPECT_TRUE(status.ok()) << chunk;
    }
    std::string back;
    ASSERT_TRUE(encode(c.encoding, c.utf8, back));
    EXPECT_EQ(back, c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, EncodingRoundTrip,
    ::testing::Values(
        RoundTrip{Encoding::Utf8, "a,\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80\r\n",
                  "a,\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80\r\n"},
        RoundTrip{Encoding::Windows1252, "caf\xE9;\x80\x81\x9F\xFF",
                  "caf\xC3\xA9;\xE2\x82\xAC\xC2\x81\xC5\xB8\xC3\xBF"},
        RoundTrip{Encoding::Utf16LE, std::string("a\0,\0\xE4\0\x3D\xD8\x00\xDE\n\0", 12),
                  "a,\xC3\xA4\xF0\x9F\x98\x80\n"},
        RoundTrip{Encoding::Utf16BE, std::string("\0a\0\t\xD8\x3D\xDE\x00", 8),
                  "a\t\xF0\x9F\x98\x80"},
        // An unpaired surrogate survives in its three-byte form.
        RoundTrip{Encoding::Utf16LE, std::string("\x00\xD8x\0", 4), "\xED\xA0\x80x"}));

TEST(Encoding, MarksTellTheEncoding) {
    EXPECT_EQ(encodingOfHead("\xEF\xBB\xBF"
                             "a")
                  .value(),
              Encoding::Utf8Bom);
    EXPECT_EQ(encodingOfHead("\xFF\xFE"
                             "a")
                  .value(),
              Encoding::Utf16LE);
    EXPECT_EQ(encodingOfHead("\xFE\xFF").value(), Encoding::Utf16BE);
    EXPECT_EQ(encodingOfHead("abc").value(), Encoding::Utf8);
    EXPECT_EQ(encodingOfHead("").value(), Encoding::Utf8);
    EXPECT_EQ(encodingOfHead(std::string("\xFF\xFE\0\0", 4)).error().code,
              ErrorCode::UnsupportedFormat);
    EXPECT_EQ(markLength(Encoding::Utf8Bom), 3U);
    EXPECT_EQ(markLength(Encoding::Utf16BE), 2U);
    EXPECT_EQ(markLength(Encoding::Windows1252), 0U);
}

TEST(Encoding, BinaryBytesFailWithTheirOffset) {
    Status status = Unit{};
    decodeInChunks(Encoding::Utf8, std::string("abcdefghij\0k", 12), 4, &status);
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.error().code, ErrorCode::NotAWorkbook);
    EXPECT_NE(status.error().detail.find("byte 10"), std::string::npos);
    decodeInChunks(Encoding::Windows1252, "ab\x01", 10, &status);
    EXPECT_FALSE(status.ok());
    decodeInChunks(Encoding::Utf16LE, std::string("a\0\0\0", 4), 10, &status);
    EXPECT_FALSE(status.ok());
    decodeInChunks(Encoding::Utf16LE, std::string("a\0b", 3), 10, &status);
    EXPECT_FALSE(status.ok()); // an odd number of bytes
    // Text controls that files do hold are text.
    decodeInChunks(Encoding::Utf8, "a\tb\x0B\x0C\r\n\x1A\x1B", 3, &status);
    EXPECT_TRUE(status.ok());
}

TEST(Encoding, BytesThatAreNotUtf8AskForWindows1252) {
    Status status = Unit{};
    decodeInChunks(Encoding::Utf8, "plain ascii then caf\xE9 and more", 7, &status);
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.error().detail, kNotUtf8);
    // A sequence cut at the end of the file is not UTF-8 either.
    decodeInChunks(Encoding::Utf8, "ab\xC3", 2, &status);
    EXPECT_FALSE(status.ok());
    // With a mark the file says it is UTF-8: a stray byte is kept.
    EXPECT_EQ(decodeInChunks(Encoding::Utf8Bom,
                             "a\xFF"
                             "b",
                             1, &status),
              "a\xFF"
              "b");
    EXPECT_TRUE(status.ok());
}

TEST(Encoding, CharactersWindows1252LacksCannotBeEncoded) {
    std::string out;
    EXPECT_FALSE(encode(Encoding::Windows1252, "\xE2\x82\xAC ok \xE4\xB8\xAD", out));
    out.clear();
    EXPECT_FALSE(encode(Encoding::Windows1252, "\xC2\x80", out)); // U+0080: 0x80 is the euro
    out.clear();
    EXPECT_TRUE(encode(Encoding::Windows1252, "\xE2\x82\xAC", out));
    EXPECT_EQ(out, "\x80");
}

} // namespace
} // namespace engine::delimited
