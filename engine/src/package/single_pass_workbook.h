// A workbook whose save, dry run and search are one pass over the file in three modes, as for
// the formats that read and rewrite in one stream (OpenDocument, delimited text).
#pragma once

#include "engine/workbook.h"

namespace engine::package {

class SinglePassWorkbook : public Workbook {
public:
    Result<ReplaceCounts> save() override {
        auto result = run(Run::Save, cellListener());
        clearQueues();
        return result;
    }
    Result<ReplaceCounts> dryRun() override { return run(Run::Count, cellListener()); }
    Status search(CellListener& listener) override {
        auto result = run(Run::Search, &listener);
        if (!result) {
            return result.error();
        }
        return Unit{};
    }

protected:
    enum class Run { Count, Save, Search };
    /// One pass: Count changes nothing on disk, Save writes when a cell changed, Search lists
    /// matching cells as they are.
    virtual Result<ReplaceCounts> run(Run kind, CellListener* listener) = 0;
    virtual void clearQueues() = 0;
};

} // namespace engine::package
