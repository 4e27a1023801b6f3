// A small engine::Workbook over a made-up text format, for tests of the stand-in and the run
// before they meet real workbooks. A file starts with the line "FAKEBOOK"; then "sheet NAME"
// or "chart NAME" begins a sheet, and every other line is one cell text of the sheet before.
// Save applies the queued replacements and rewrites the file only when something changed.
#pragma once

#include "engine/workbook.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

namespace fakes {

struct FakeSheet {
    engine::SheetInfo info;
    std::vector<std::string> cells;
};

/// What every fake workbook did, for tests to inspect: "queue 0 a>b 1", "save", "destroy".
struct EngineLog {
    std::vector<std::string> calls;
};

// Every occurrence of find in text, left to right, without overlap; ASCII letters compared
// without case unless matchCase.
inline std::uint64_t replaceAll(std::string& text, const std::string& find,
                                const std::string& replacement, bool matchCase) {
    if (find.empty()) {
        return 0;
    }
    const auto same = [matchCase](char a, char b) {
        return matchCase ? a == b
                         : std::tolower(static_cast<unsigned char>(a)) ==
                               std::tolower(static_cast<unsigned char>(b));
    };
    std::string result;
    std::uint64_t count = 0;
    std::size_t at = 0;
    while (true) {
        const auto found = std::search(text.begin() + static_cast<std::ptrdiff_t>(at), text.end(),
                                       find.begin(), find.end(), same);
        if (found == text.end()) {
            break;
        }
        const auto position = static_cast<std::size_t>(found - text.begin());
        result += text.substr(at, position - at) + replacement;
        at = position + find.size();
        ++count;
    }
    if (count > 0) {
        text = result + text.substr(at);
    }
    return count;
}

/// Writes a fake workbook: each sheet as its name and cells. False when the file could not be
/// written.
inline bool writeFakeWorkbook(const std::filesystem::path& path,
                              const std::vector<FakeSheet>& sheets) {
    std::ofstream out(path, std::ios::binary);
    out << "FAKEBOOK\n";
    for (const FakeSheet& sheet : sheets) {
        out << (sheet.info.hasCells ? "sheet " : "chart ") << sheet.info.name << "\n";
        for (const std::string& cell : sheet.cells) {
            out << cell << "\n";
        }
    }
    return static_cast<bool>(out.flush());
}

class FakeEngineWorkbook final : public engine::Workbook {
public:
    FakeEngineWorkbook(std::filesystem::path path, std::vector<FakeSheet> sheets, EngineLog* log)
        : m_path(std::move(path)), m_sheets(std::move(sheets)), m_log(log) {
        for (const FakeSheet& sheet : m_sheets) {
            m_infos.push_back(sheet.info);
        }
    }
    ~FakeEngineWorkbook() override { record("destroy"); }

    const std::vector<engine::SheetInfo>& sheets() const override { return m_infos; }
    void queueReplace(std::size_t sheetIndex, const engine::ReplaceRequest& request) override {
        record("queue " + std::to_string(sheetIndex) + " " + request.find + ">" +
               request.replacement + " " + std::to_string(request.matchCase));
        m_queue.emplace_back(sheetIndex, request);
    }
    engine::Result<engine::ReplaceCounts> save() override {
        record("save");
        engine::ReplaceCounts counts;
        std::vector<FakeSheet> changed = apply(counts);
        m_queue.clear();
        if (counts.replacements == 0) {
            return counts;
        }
        const std::filesystem::path draft = m_path.string() + ".draft";
        if (!writeFakeWorkbook(draft, changed)) {
            return engine::Error{engine::ErrorCode::IoError, m_path.filename().string()};
        }
        std::error_code error;
        std::filesystem::rename(draft, m_path, error);
        if (error) {
            std::filesystem::remove(draft, error);
            return engine::Error{engine::ErrorCode::PermissionDenied, m_path.filename().string()};
        }
        m_sheets = std::move(changed);
        return counts;
    }
    engine::Result<engine::ReplaceCounts> dryRun() override {
        engine::ReplaceCounts counts;
        apply(counts);
        return counts;
    }

private:
    std::vector<FakeSheet> apply(engine::ReplaceCounts& counts) const {
        std::vector<FakeSheet> sheets = m_sheets;
        std::vector<std::vector<bool>> touched(sheets.size());
        for (std::size_t i = 0; i < sheets.size(); ++i) {
            touched[i].resize(sheets[i].cells.size());
        }
        for (const auto& [index, request] : m_queue) {
            auto& cells = sheets.at(index).cells;
            for (std::size_t c = 0; c < cells.size(); ++c) {
                const std::uint64_t n =
                    replaceAll(cells[c], request.find, request.replacement, request.matchCase);
                counts.replacements += n;
                if (n > 0 && !touched[index][c]) {
                    touched[index][c] = true;
                    ++counts.cellsChanged;
                }
            }
        }
        return sheets;
    }
    void record(const std::string& call) {
        if (m_log != nullptr) {
            m_log->calls.push_back(call);
        }
    }

    std::filesystem::path m_path;
    std::vector<FakeSheet> m_sheets;
    std::vector<engine::SheetInfo> m_infos;
    std::vector<std::pair<std::size_t, engine::ReplaceRequest>> m_queue;
    EngineLog* m_log;
};

/// Opens a fake workbook file; the errors a person would see from the real engine for a
/// missing, unreadable or foreign file.
inline engine::Result<std::unique_ptr<engine::Workbook>>
openFakeWorkbook(const std::filesystem::path& path, EngineLog* log = nullptr) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        return engine::Error{engine::ErrorCode::NotFound, path.filename().string()};
    }
    std::ifstream in(path, std::ios::binary);
    std::string line;
    if (!in || !std::getline(in, line)) {
        return engine::Error{engine::ErrorCode::PermissionDenied, path.filename().string()};
    }
    if (line != "FAKEBOOK") {
        return engine::Error{engine::ErrorCode::NotAWorkbook, path.filename().string()};
    }
    std::vector<FakeSheet> sheets;
    while (std::getline(in, line)) {
        if (line.rfind("sheet ", 0) == 0 || line.rfind("chart ", 0) == 0) {
            sheets.push_back({{line.substr(6), line[0] == 's'}, {}});
        } else if (!sheets.empty()) {
            sheets.back().cells.push_back(line);
        }
    }
    return std::unique_ptr<engine::Workbook>(
        std::make_unique<FakeEngineWorkbook>(path, std::move(sheets), log));
}

/// The cell texts of a fake workbook file, sheet by sheet.
inline std::vector<std::vector<std::string>> readFakeCells(const std::filesystem::path& path) {
    std::vector<std::vector<std::string>> cells;
    auto opened = openFakeWorkbook(path);
    if (!opened) {
        return cells;
    }
    std::ifstream in(path, std::ios::binary);
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        if (line.rfind("sheet ", 0) == 0 || line.rfind("chart ", 0) == 0) {
            cells.emplace_back();
        } else if (!cells.empty()) {
            cells.back().push_back(line);
        }
    }
    return cells;
}

} // namespace fakes
