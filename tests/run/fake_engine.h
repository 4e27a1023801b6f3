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
                              request.replacement + " " + std::to_string(request.matchCase));
        ++m_queued;
    }
    /// Counts one replacement in one cell per queued request.
    engine::Result<engine::ReplaceCounts> save() override {
        m_log.calls.push_back("save");
        if (m_saveError) {
            return *m_saveError;
        }
        const engine::ReplaceCounts counts{m_queued, m_queued};
        m_queued = 0;
        return counts;
    }
    engine::Result<engine::ReplaceCounts> dryRun() override {
        m_log.calls.push_back("dryRun");
        return engine::ReplaceCounts{m_queued, m_queued};
    }

private:
    std::vector<engine::SheetInfo> m_sheets;
    EngineLog& m_log;
    std::optional<engine::Error> m_saveError;
    std::uint64_t m_queued = 0;
};

} // namespace fakes
