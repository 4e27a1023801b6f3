// varnocliff-floor: the least work any in-place replacer must do on a workbook, as a yardstick
// for the engine: inflate every entry, replace the token in the parts that hold it (plain
// substring replacement, no XML), deflate those parts at the level the engine deflates rewritten
// parts at (zip::kRewriteDeflateLevel), write the new file, flush and rename it.
#include "package/output_file.h"
#include "zip/zip_writer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <vector>

using namespace engine;

namespace {

struct Totals {
    std::uint64_t files = 0, failed = 0, inflated = 0, deflatedParts = 0, deflatedBytes = 0;
};

bool isCandidate(const std::string& name) {
    return name == "xl/sharedStrings.xml" || name.rfind("xl/worksheets/sheet", 0) == 0;
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
                   Totals& totals) {
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
        if (!isCandidate(entry.name)) {
            auto status = source.readStream(i, [&](std::string_view chunk) -> Status {
                totals.inflated += chunk.size();
                return Unit{};
            });
            if (!status) {
                return status;
            }
            continue;
        }
        auto content = source.readAll(i);
        if (!content) {
            return content.error();
        }
        totals.inflated += content.value().size();
        if (content.value().find(find) == std::string::npos) {
            continue;
        }
        const std::string replaced = replaceAll(content.value(), find, replacement);
        changed[i] = std::make_unique<zip::DeflateStream>(zip::kRewriteDeflateLevel);
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
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--find") == 0 && i + 1 < argc) {
            find = argv[++i];
        } else if (std::strcmp(argv[i], "--replace") == 0 && i + 1 < argc) {
            replacement = argv[++i];
        } else if (std::strcmp(argv[i], "--help") == 0) {
            std::cout << "usage: varnocliff-floor [--find TEXT] [--replace TEXT] FILE...\n";
            return 0;
        } else {
            files.emplace_back(argv[i]);
        }
    }
    if (files.empty() || find.empty()) {
        std::cerr << "usage: varnocliff-floor [--find TEXT] [--replace TEXT] FILE...\n";
        return 2;
    }
    Totals totals;
    const auto start = std::chrono::steady_clock::now();
    for (const auto& file : files) {
        ++totals.files;
        if (auto status = processFile(file, find, replacement, totals); !status) {
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
