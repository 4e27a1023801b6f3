// varnocliff-floor: the least work any in-place replacer must do on a workbook, as a yardstick
// for the engine: inflate every entry, replace the token in the parts that hold it (plain
// substring replacement, no XML), deflate those parts with zlib at a given level (6 unless told),
// write the new file, flush and rename it. zlib alone, both ways: a fixed yardstick that a
// faster codec may beat.
#include "package/output_file.h"
#include "zip/zip_writer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <vector>
#include <zlib.h>

using namespace engine;

namespace {

struct Totals {
    std::uint64_t files = 0, failed = 0, inflated = 0, deflatedParts = 0, deflatedBytes = 0;
};

bool isCandidate(const std::string& name) {
    return name == "xl/sharedStrings.xml" || name.rfind("xl/worksheets/sheet", 0) == 0;
}

// The entry inflated with zlib (stored entries as they are), CRC-32 checked: the engine's
// reader inflates with a faster codec, which the yardstick must not borrow.
Result<std::string> inflateEntry(const zip::ZipReader& source, std::size_t index) {
    const auto& entry = source.entries()[index];
    std::string raw;
    if (auto status = source.readRaw(entry.dataOffset, entry.compressedSize, raw); !status) {
        return status.error();
    }
    if (entry.method == 0) {
        return raw;
    }
    std::string out(entry.uncompressedSize, '\0');
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) {
        return Error{ErrorCode::IoError, "zlib could not start inflating"};
    }
    z.next_in = reinterpret_cast<Bytef*>(raw.data());
    z.avail_in = static_cast<uInt>(raw.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int result = inflate(&z, Z_FINISH);
    const bool whole = result == Z_STREAM_END && z.total_out == out.size();
    inflateEnd(&z);
    if (!whole || ::crc32(0, reinterpret_cast<const Bytef*>(out.data()),
                          static_cast<uInt>(out.size())) != entry.crc32) {
        return Error{ErrorCode::Corrupt, entry.name + " does not inflate to its CRC-32"};
    }
    return out;
}

std::string replaceAll(const std::string& text, const std::string& find,
                       const std::string& replacement) {
    std::string out;
    out.reserve(text.size());
    std::size_t from = 0;
    for (std::size_t at; (at = text.find(find, from)) != std::string::npos;
         from = at + find.size()) {
        out.append(text, from, at - from).append(replacement);
    }
    out.append(text, from);
    return out;
}

Status processFile(const std::string& path, const std::string& find, const std::string& replacement,
                   int level, Totals& totals) {
    auto opened = zip::ZipReader::open(path);
    if (!opened) {
        return opened.error();
    }
    const zip::ZipReader& source = *opened.value();
    // Inflate everything first: an in-place tool must read every part it may change, and a
    // failed read must leave the file untouched.
    // Changed parts are kept deflated, one inflated part at a time in memory.
    std::vector<std::unique_ptr<zip::DeflateStream>> changed(source.entries().size());
    for (std::size_t i = 0; i < source.entries().size(); ++i) {
        const auto& entry = source.entries()[i];
        auto content = inflateEntry(source, i);
        if (!content) {
            return content.error();
        }
        if (!isCandidate(entry.name)) {
            totals.inflated += content.value().size();
            continue;
        }
        totals.inflated += content.value().size();
        if (content.value().find(find) == std::string::npos) {
            continue;
        }
        const std::string replaced = replaceAll(content.value(), find, replacement);
        changed[i] = std::make_unique<zip::DeflateStream>(level);
        if (auto status = changed[i]->write(replaced); !status) {
            return status;
        }
        if (auto status = changed[i]->finish(); !status) {
            return status;
        }
        ++totals.deflatedParts;
        totals.deflatedBytes += replaced.size();
    }
    if (std::none_of(changed.begin(), changed.end(),
                     [](const auto& part) { return part != nullptr; })) {
        return Unit{};
    }
    return package::replaceFileAtomically(path, [&](package::OutputFile& out) -> Status {
        zip::ZipWriter writer(out);
        for (std::size_t i = 0; i < source.entries().size(); ++i) {
            auto status = changed[i] ? writer.addDeflated(source.entries()[i], *changed[i])
                                     : writer.copyRaw(source, i);
            if (!status) {
                return status;
            }
        }
        return writer.finish(source);
    });
}

} // namespace

int main(int argc, char** argv) {
    std::string find = "alpha";
    std::string replacement = "omega";
    int level = zip::kDefaultDeflateLevel;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--find") == 0 && i + 1 < argc) {
            find = argv[++i];
        } else if (std::strcmp(argv[i], "--replace") == 0 && i + 1 < argc) {
            replacement = argv[++i];
        } else if (std::strcmp(argv[i], "--level") == 0 && i + 1 < argc) {
            level = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--help") == 0) {
            std::cout
                << "usage: varnocliff-floor [--find TEXT] [--replace TEXT] [--level 0-9] FILE...\n";
            return 0;
        } else {
            files.emplace_back(argv[i]);
        }
    }
    if (files.empty() || find.empty() || level < 0 || level > 9) {
        std::cerr
            << "usage: varnocliff-floor [--find TEXT] [--replace TEXT] [--level 0-9] FILE...\n";
        return 2;
    }
    Totals totals;
    const auto start = std::chrono::steady_clock::now();
    for (const auto& file : files) {
        ++totals.files;
        if (auto status = processFile(file, find, replacement, level, totals); !status) {
            ++totals.failed;
            std::cerr << file << ": failed (" << static_cast<int>(status.error().code)
                      << "): " << status.error().detail << "\n";
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("files %llu failed %llu inflated_mb %.1f deflated_parts %llu deflated_mb %.1f "
                "seconds %.3f peak_rss_mb %.1f\n",
                static_cast<unsigned long long>(totals.files),
                static_cast<unsigned long long>(totals.failed),
                static_cast<double>(totals.inflated) / 1e6,
                static_cast<unsigned long long>(totals.deflatedParts),
                static_cast<double>(totals.deflatedBytes) / 1e6, seconds,
                static_cast<double>(usage.ru_maxrss) / 1024.0);
    return totals.failed == 0 ? 0 : 1;
}
