// varnocliff-codec-bench: the deflate and inflate codecs the ZIP layer could use, side by side
// on the files given (parts taken out of a workbook): CPU seconds and output size against zlib
// at level 6, for zlib, libdeflate and ISA-L at their levels.
#include <isa-l/igzip_lib.h>
#include <libdeflate.h>
#include <zlib.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string zlibDeflate(const std::string& in, int level) {
    z_stream s{};
    deflateInit2(&s, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&s, in.size()), '\0');
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    s.avail_in = static_cast<uInt>(in.size());
    s.next_out = reinterpret_cast<Bytef*>(out.data());
    s.avail_out = static_cast<uInt>(out.size());
    deflate(&s, Z_FINISH);
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

std::string zlibInflate(const std::string& in, std::size_t size) {
    z_stream s{};
    inflateInit2(&s, -MAX_WBITS);
    std::string out(size, '\0');
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    s.avail_in = static_cast<uInt>(in.size());
    s.next_out = reinterpret_cast<Bytef*>(out.data());
    s.avail_out = static_cast<uInt>(out.size());
    inflate(&s, Z_FINISH);
    inflateEnd(&s);
    return out;
}

std::string libdeflateDeflate(const std::string& in, int level) {
    libdeflate_compressor* c = libdeflate_alloc_compressor(level);
    std::string out(libdeflate_deflate_compress_bound(c, in.size()), '\0');
    out.resize(libdeflate_deflate_compress(c, in.data(), in.size(), out.data(), out.size()));
    libdeflate_free_compressor(c);
    return out;
}

std::string libdeflateInflate(const std::string& in, std::size_t size) {
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    std::string out(size, '\0');
    libdeflate_deflate_decompress(d, in.data(), in.size(), out.data(), size, nullptr);
    libdeflate_free_decompressor(d);
    return out;
}

std::string isalDeflate(const std::string& in, int level) {
    isal_zstream s{};
    isal_deflate_init(&s);
    const std::size_t levelBuffer = level == 1   ? ISAL_DEF_LVL1_DEFAULT
                                    : level == 2 ? ISAL_DEF_LVL2_DEFAULT
                                                 : ISAL_DEF_LVL3_DEFAULT;
    std::vector<std::uint8_t> buffer(levelBuffer);
    s.level = static_cast<std::uint32_t>(level);
    s.level_buf = buffer.data();
    s.level_buf_size = static_cast<std::uint32_t>(buffer.size());
    std::string out(in.size() + in.size() / 8 + 1024, '\0');
    s.next_in = reinterpret_cast<std::uint8_t*>(const_cast<char*>(in.data()));
    s.avail_in = static_cast<std::uint32_t>(in.size());
    s.next_out = reinterpret_cast<std::uint8_t*>(out.data());
    s.avail_out = static_cast<std::uint32_t>(out.size());
    s.end_of_stream = 1;
    isal_deflate(&s);
    out.resize(s.total_out);
    return out;
}

std::string isalInflate(const std::string& in, std::size_t size) {
    inflate_state s{};
    isal_inflate_init(&s);
    std::string out(size, '\0');
    s.next_in = reinterpret_cast<std::uint8_t*>(const_cast<char*>(in.data()));
    s.avail_in = static_cast<std::uint32_t>(in.size());
    s.next_out = reinterpret_cast<std::uint8_t*>(out.data());
    s.avail_out = static_cast<std::uint32_t>(size);
    isal_inflate(&s);
    return out;
}

// CPU seconds of one call, the least of three.
double cpuSeconds(const std::function<std::string()>& run, std::string& result) {
    double best = 1e9;
    for (int round = 0; round < 3; ++round) {
        const std::clock_t start = std::clock();
        result = run();
        best = std::min(best, static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC);
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: varnocliff-codec-bench FILE...\n");
        return 2;
    }
    std::string input;
    for (int i = 1; i < argc; ++i) {
        std::ifstream file(argv[i], std::ios::binary);
        std::ostringstream bytes;
        bytes << file.rdbuf();
        input += bytes.str();
    }
    const double mb = static_cast<double>(input.size()) / 1e6;
    const std::size_t zlib6 = zlibDeflate(input, 6).size();
    std::printf("%.1f MB of input; zlib level 6 gives %zu bytes\n", mb, zlib6);
    std::printf("%-14s %12s %10s %10s %10s\n", "deflate", "bytes", "/ zlib 6", "CPU s", "MB/s");
    struct Deflater {
        const char* name;
        std::string (*run)(const std::string&, int);
        std::vector<int> levels;
    };
    const std::vector<Deflater> deflaters = {{"zlib", zlibDeflate, {1, 4, 5, 6}},
                                             {"libdeflate", libdeflateDeflate, {1, 3, 4, 5, 6}},
                                             {"isa-l", isalDeflate, {1, 2, 3}}};
    for (const auto& d : deflaters) {
        for (int level : d.levels) {
            std::string out;
            const double s = cpuSeconds([&] { return d.run(input, level); }, out);
            std::printf("%-11s %2d %12zu %10.3f %10.3f %10.0f\n", d.name, level, out.size(),
                        static_cast<double>(out.size()) / static_cast<double>(zlib6), s, mb / s);
        }
    }
    const std::string compressed = zlibDeflate(input, 6);
    std::printf("%-14s %10s %10s %s\n", "inflate", "CPU s", "MB/s", "same as input");
    const std::vector<std::pair<const char*, std::string (*)(const std::string&, std::size_t)>>
        inflaters = {
            {"zlib", zlibInflate}, {"libdeflate", libdeflateInflate}, {"isa-l", isalInflate}};
    for (const auto& [name, run] : inflaters) {
        std::string out;
        const double s = cpuSeconds([&] { return run(compressed, input.size()); }, out);
        std::printf("%-14s %10.3f %10.0f %s\n", name, s, mb / s, out == input ? "yes" : "NO");
    }
    return 0;
}
