// The command line's side of the automation calls: match case comes from the options, the
// busy pointer has nothing to show, and the engine's reasons come back as the file's outcome.
#include "cli/workbook_job.h"

#include "run/workbook_operations.h"

#include <QFile>

namespace cli {

namespace {

using run::automation::Workbook;

class OptionsContext final : public run::RunContext {
public:
    OptionsContext(bool matchCase, bool wholeCell)
        : m_matchCase(matchCase), m_wholeCell(wholeCell) {}
    bool matchCase() override { return m_matchCase; }
    bool wholeCell() override { return m_wholeCell; }
    void showBusy() override {}

private:
    bool m_matchCase;
    bool m_wholeCell;
};

struct Collect final : engine::CellListener {
    std::vector<engine::CellChange>& cells;
    explicit Collect(std::vector<engine::CellChange>& into) : cells(into) {}
    void cell(const engine::CellChange& change) override { cells.push_back(change); }
};

class PairList final : public run::TextList {
public:
    PairList(const std::vector<ReplacePair>& pairs, std::string ReplacePair::*text)
        : m_pairs(pairs), m_text(text) {}
    int count() const override { return static_cast<int>(m_pairs.size()); }
    std::string item(int index) const override {
        return m_pairs[static_cast<std::size_t>(index)].*m_text;
    }

private:
    const std::vector<ReplacePair>& m_pairs;
    std::string ReplacePair::*m_text;
};

run::Status replaceAll(Workbook& workbook, const ReplacePlan& plan, run::RunContext& context) {
    if (!plan.sets && plan.pairs.size() == 1) {
        return run::replaceInWorkbook(workbook, plan.pairs.front().find,
                                      plan.pairs.front().replacement, context);
    }
    return run::replaceSetsInWorkbook(workbook, PairList(plan.pairs, &ReplacePair::find),
                                      PairList(plan.pairs, &ReplacePair::replacement), context);
}

} // namespace

FileOutcome processWorkbook(run::automation::ApplicationFactory& factory, const QString& path,
                            const ReplacePlan& plan) {
    // The path's bytes as the file system holds them, whatever the locale.
    const std::string file = QFile::encodeName(path).toStdString();
    OptionsContext context(plan.matchCase, plan.wholeCell);
    FileOutcome outcome;
    Collect collect(outcome.cells);
    const run::Finish finish = plan.list     ? run::Finish::Search
                               : plan.dryRun ? run::Finish::DryRun
                                             : run::Finish::Save;
    const auto counts = run::processFile(
        factory, file, [&](Workbook& workbook) { return replaceAll(workbook, plan, context); },
        finish, plan.show || plan.list ? &collect : nullptr);

    if (!counts) {
        outcome.cells.clear();
        outcome.status = FileOutcome::Status::Failed;
        outcome.code = QString::fromLatin1(run::codeName(counts.failure()));
        outcome.reason = QString::fromStdString(counts.failure().reason());
        return outcome;
    }
    outcome.replacements = counts.value().replacements;
    outcome.cellsChanged = counts.value().cellsChanged;
    outcome.status =
        outcome.cellsChanged > 0 ? FileOutcome::Status::Changed : FileOutcome::Status::Unchanged;
    return outcome;
}

} // namespace cli
