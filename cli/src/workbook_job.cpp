// The engine does the work; this only turns the plan into queued replacements and the
// engine's result into an outcome.
#include "cli/workbook_job.h"

#include "engine/workbook.h"

#include <QFile>
#include <filesystem>

namespace cli {

namespace {

FileOutcome failed(const engine::Error& error) {
    FileOutcome outcome;
    outcome.status = FileOutcome::Status::Failed;
    outcome.reason = QString::fromStdString(error.message());
    return outcome;
}

} // namespace

FileOutcome processWorkbook(const QString& path, const ReplacePlan& plan) {
    // The path's bytes as the file system holds them, whatever the locale.
    const std::filesystem::path file(QFile::encodeName(path).toStdString());
    auto opened = engine::Workbook::open(file);
    if (!opened)
        return failed(opened.error());
    engine::Workbook& workbook = *opened.value();

    // Sheets are independent, so queuing sheet by sheet with every pair on each keeps the
    // order that matters: the pairs' order within a sheet.
    const auto& sheets = workbook.sheets();
    for (std::size_t sheet = 0; sheet < sheets.size(); ++sheet) {
        if (!sheets[sheet].hasCells)
            continue;
        for (const ReplacePair& pair : plan.pairs)
            workbook.queueReplace(sheet, {pair.find, pair.replacement, plan.matchCase});
    }

    auto counts = plan.dryRun ? workbook.dryRun() : workbook.save();
    if (!counts)
        return failed(counts.error());
    FileOutcome outcome;
    outcome.replacements = counts.value().replacements;
    outcome.cellsChanged = counts.value().cellsChanged;
    outcome.status =
        outcome.cellsChanged > 0 ? FileOutcome::Status::Changed : FileOutcome::Status::Unchanged;
    return outcome;
}

} // namespace cli
