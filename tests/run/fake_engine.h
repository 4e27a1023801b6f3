// A recording engine::Workbook for the stand-in's tests: it keeps the sheets it was given and
// logs every call ("queue 0 a>b 1", "save", "dryRun", "destroy") instead of touching a file.
#pragma once

#include "engine/workbook.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace fakes {

struct EngineLog {
    std::vector<std::string> calls;
};

class FakeEngineWorkbook final : public engine::Workbook {
public:
    FakeEngineWorkbook(std::vector<engine::SheetInfo> sheets, EngineLog& log,
                       std::optional<engine::Error> saveError = std::nullopt)
        : m_sheets(std::move(sheets)), m_log(log), m_saveError(std::move(saveError)) {}
    ~FakeEngineWorkbook() override { m_log.calls.push_back("destroy"); }

    const std::vector<engine::SheetInfo>& sheets() const override { return m_sheets; }
    void queueReplace(std::size_t sheetIndex, const engine::ReplaceRequest& request) override {
        m_log.calls.push_back("queue " + std::to_string(sheetIndex) + " " + request.find + ">" +
                              request.replacement + " " + std::to_string(request.matchCase) +
                              (request.wholeCell ? " whole" : ""));
        m_finds.push_back(request.find);
        ++m_queued;
    }
    /// Counts one replacement in one cell per queued request.
    engine::Result<engine::ReplaceCounts> save() override {
        m_log.calls.push_back("save");
        if (m_saveError) {
            return *m_saveError;
        }
        const engine::ReplaceCounts counts{m_queued, m_queued};
        report(cellListener(), "after");
        m_queued = 0;
        m_finds.clear();
        return counts;
    }
    engine::Result<engine::ReplaceCounts> dryRun() override {
        m_log.calls.push_back("dryRun");
        report(cellListener(), "after");
        return engine::ReplaceCounts{m_queued, m_queued};
    }
    /// Finds one cell per queued request, whose text is its find text.
    engine::Status search(engine::CellListener& listener) override {
        m_log.calls.push_back("search");
        report(&listener, {});
        return engine::Unit{};
    }

private:
    void report(engine::CellListener* listener, const std::string& after) const {
        for (std::size_t i = 0; listener != nullptr && i < m_finds.size(); ++i) {
            listener->cell({"Data", "A" + std::to_string(i + 1), engine::CellKind::Cell, m_finds[i],
                            after.empty() ? m_finds[i] : after});
        }
    }

    std::vector<engine::SheetInfo> m_sheets;
    std::vector<std::string> m_finds;
    EngineLog& m_log;
    std::optional<engine::Error> m_saveError;
    std::uint64_t m_queued = 0;
};

} // namespace fakes
