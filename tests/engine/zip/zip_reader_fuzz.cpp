// Fuzz target for the ZIP reader: open an archive from arbitrary bytes and read every entry.
// Built for libFuzzer with Clang; with any other compiler, main() below mutates seed files itself.
#include "zip/zip_archive.h"

#include "test_archive.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <random>
#include <string>
#include <unistd.h>

namespace {

std::filesystem::path scratchFile() {
    // Memory-backed where there is such a folder: the file is rewritten for every input.
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::is_directory("/dev/shm", error)
                                             ? std::filesystem::path("/dev/shm")
                                             : std::filesystem::temp_directory_path();
    static const std::filesystem::path path =
        folder / ("varnocliff-fuzz-" + std::to_string(::getpid()));
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace engine::zip;
    test_support::writeFile(scratchFile(), std::string(reinterpret_cast<const char*>(data), size));
    // Small limits keep each run quick; what they guard is tested elsewhere.
    auto reader = ZipReader::open(scratchFile(), Limits{64U << 20, 256U << 20, 10000});
    if (!reader) {
        return 0;
    }
    const ZipReader& zip = *reader.value();
    for (std::size_t i = 0; i < zip.entries().size(); ++i) {
        (void)zip.readStream(i, [](std::string_view) -> engine::Status { return engine::Unit{}; });
        (void)zip.find(zip.entries()[i].name);
    }
    return 0;
}

#ifndef VARNOCLIFF_LIBFUZZER
namespace {

// One random change of the kinds that break archives: flipped bits, saturated or zeroed
// fields, cuts, and copied spans (which make overlapping or repeated records).
void mutate(std::string& bytes, std::mt19937_64& random) {
    if (bytes.empty()) {
        bytes.push_back(static_cast<char>(random()));
        return;
    }
    auto at = [&] { return static_cast<std::size_t>(random() % bytes.size()); };
    static constexpr std::array<std::uint32_t, 7> kValues{0,      1,      0x7fffffff, 0xffffffff,
                                                          0xfffe, 0xffff, 46};
    switch (random() % 5) {
    case 0: {
        const std::size_t pos = at();
        bytes[pos] =
            static_cast<char>(static_cast<unsigned char>(bytes[pos]) ^ (1U << (random() % 8)));
        break;
    }
    case 1: {
        const std::size_t pos = at();
        const std::uint32_t value = kValues[random() % kValues.size()];
        for (std::size_t i = 0; i < 4 && pos + i < bytes.size(); ++i) {
            bytes[pos + i] = static_cast<char>(value >> (8 * i));
        }
        break;
    }
    case 2:
        bytes.resize(at());
        break;
    case 3: {
        const std::size_t from = at();
        const std::size_t length = random() % 64;
        const std::size_t to = at();
        bytes.insert(to, bytes.substr(from, length));
        break;
    }
    default: {
        const std::size_t from = at();
        bytes.erase(from, random() % 64);
        break;
    }
    }
}

} // namespace

// Usage: zip_reader_fuzz ITERATIONS SEED FILE... ; each iteration applies 1-4 mutations to one
// of the files (or to an archive built here when none is given).
int main(int argc, char** argv) {
    using namespace engine::zip::test_support;
    const long iterations = argc > 1 ? std::atol(argv[1]) : 1000;
    std::mt19937_64 random(argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1);
    std::vector<std::string> seeds;
    for (int i = 3; i < argc; ++i) {
        seeds.push_back(readFile(argv[i]));
    }
    seeds.push_back(
        buildArchive(
            {{"[Content_Types].xml", "<Types/>"},
             {"xl/sharedStrings.xml", std::string(5000, 'a'), 8, Descriptor::WithSignature},
             {"xl/worksheets/sheet1.xml", std::string(3000, 'b'), 0, Descriptor::None, true}},
            "comment", true)
            .bytes);
    for (long n = 0; n < iterations; ++n) {
        std::string bytes = seeds[random() % seeds.size()];
        for (unsigned k = 0, count = 1 + random() % 4; k < count; ++k) {
            mutate(bytes, random);
        }
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::filesystem::remove(scratchFile());
    std::cout << iterations << " mutated archives read without a crash\n";
    return 0;
}
#endif
