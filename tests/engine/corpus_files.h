// The corpus of real workbooks that tests read: it lies beside the project, in
// ../shared/corpus, and tests skip their corpus cases when it is not there.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace engine::corpus {

/// ../shared/corpus beside the source folder that ctest names; empty when the test runs
/// without it.
inline std::filesystem::path folder() {
    const char* source = std::getenv("VARNOCLIFF_SOURCE_DIR");
    return source == nullptr ? std::filesystem::path()
                             : std::filesystem::path(source) / ".." / "shared" / "corpus";
}

/// Every file of the corpus whose extension begins with ".xl" in any case (workbooks of every
/// kind, ZIP or not), sorted; empty without the corpus.
inline std::vector<std::filesystem::path> spreadsheetFiles() {
    std::vector<std::filesystem::path> files;
    const std::filesystem::path where = folder();
    std::error_code ec;
    if (where.empty() || !std::filesystem::is_directory(where, ec)) {
        return files;
    }
    for (std::filesystem::recursive_directory_iterator it(where, ec), end; it != end;
         it.increment(ec)) {
        const std::string extension = it->path().extension().string();
        if (!ec && it->is_regular_file(ec) && extension.size() >= 4 &&
            (extension.starts_with(".xl") || extension.starts_with(".XL"))) {
            files.push_back(it->path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace engine::corpus
