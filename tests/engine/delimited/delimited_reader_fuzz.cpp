// Fuzz target for the delimited text reader: decode arbitrary bytes in every encoding and run
// them through the field rewriter, checking that encoding gives the bytes back and that a queue
// that changes nothing gives the text back.
// Built for libFuzzer with Clang; with any other compiler, main() below mutates seeds itself.
#include "delimited/field_rewriter.h"
#include "delimited/text_encoding.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <random>
#include <string>

namespace {

using namespace engine::delimited;

// The rewriter's output, fed in chunks of `chunk` bytes; empty when it failed.
std::string rewrite(std::string_view text, char delimiter, const engine::text::ReplaceQueue& queue,
                    std::size_t chunk) {
    FieldRewriter::Options options;
    options.delimiter = delimiter;
    options.queue = &queue;
    options.mode = FieldRewriter::Mode::Emit;
    FieldRewriter rewriter(options);
    std::string out;
    for (std::size_t at = 0;; at += chunk) {
        const bool last = at + chunk >= text.size();
        if (!rewriter.feed(text.substr(std::min(at, text.size()), chunk), last)) {
            return {};
        }
        out += rewriter.output();
        rewriter.output().clear();
        if (last) {
            break;
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    static constexpr std::array<Encoding, 5> kEncodings = {Encoding::Utf8, Encoding::Utf8Bom,
                                                           Encoding::Utf16LE, Encoding::Utf16BE,
                                                           Encoding::Windows1252};
    static constexpr std::array<char, 3> kDelimiters = {',', ';', '\t'};
    const Encoding encoding = kEncodings[data[0] % kEncodings.size()];
    const char delimiter = kDelimiters[data[1] % kDelimiters.size()];
    const std::size_t chunk = 1 + data[1] % 17;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);

    Decoder decoder(encoding);
    std::string text;
    if (!decoder.decode(bytes, true, text)) {
        return 0;
    }
    std::string back;
    if (!encode(encoding, text, back) || back != bytes) {
        if (encoding != Encoding::Utf8Bom) { // a marked file keeps stray bytes opaque
            std::abort();
        }
    }
    engine::text::ReplaceQueue none;
    none.add("\x01", "x", true, false);
    if (rewrite(text, delimiter, none, chunk) != text) {
        std::abort();
    }
    engine::text::ReplaceQueue some;
    some.add("a", "\"\n;,\t", false, false);
    some.add("b", "", true, false);
    (void)rewrite(text, delimiter, some, chunk);
    return 0;
}

#ifndef VARNOCLIFF_LIBFUZZER
// Usage: delimited_reader_fuzz ITERATIONS SEED; each iteration mutates one of a few seeds.
int main(int argc, char** argv) {
    const long iterations = argc > 1 ? std::atol(argv[1]) : 1000;
    std::mt19937_64 random(argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1);
    using namespace std::string_literals;
    const std::array<std::string, 4> seeds = {"\0\0a,\"b\"\"c\",d\r\ne\rf\n\"g\nh\"x,"s,
                                              "\x02\x01\xFF\xFE"
                                              "a\0,\0\"\0\n\0"s,
                                              "\x04\x02"
                                              "caf\xE9\tb\n"s,
                                              "\x01\x00\xEF\xBB\xBF\"a;b\";c"s};
    for (long n = 0; n < iterations; ++n) {
        std::string bytes = seeds[random() % seeds.size()];
        for (unsigned k = 0, count = 1 + random() % 4; k < count; ++k) {
            const std::size_t at = random() % bytes.size();
            switch (random() % 4) {
            case 0:
                bytes[at] = static_cast<char>(random());
                break;
            case 1:
                bytes.insert(at, 1, "\",;\t\r\n\0a"[random() % 8]);
                break;
            case 2:
                bytes.insert(at, bytes.substr(random() % bytes.size(), random() % 16));
                break;
            default:
                if (bytes.size() > 3) {
                    bytes.erase(at, 1);
                }
            }
        }
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::cout << iterations << " mutated texts read without a crash\n";
    return 0;
}
#endif
