// Listings through the run's own calls: the pairs go in as sets, then Search or DryRun ends the
// file instead of Save.
#include "run/cell_listing.h"

#include "run/workbook_operations.h"

namespace run {

namespace {

class Options final : public RunContext {
public:
    explicit Options(const ListingOptions& options) : m_options(options) {}
    bool matchCase() override { return m_options.matchCase; }
    bool wholeCell() override { return m_options.wholeCell; }
    void showBusy() override {}

private:
    const ListingOptions& m_options;
};

class PairTexts final : public TextList {
public:
    PairTexts(const std::vector<FindReplacePair>& pairs, std::string FindReplacePair::*text)
        : m_pairs(pairs), m_text(text) {}
    int count() const override { return static_cast<int>(m_pairs.size()); }
    std::string item(int index) const override {
        return m_pairs[static_cast<std::size_t>(index)].*m_text;
    }

private:
    const std::vector<FindReplacePair>& m_pairs;
    std::string FindReplacePair::*m_text;
};

struct Collect final : engine::CellListener {
    std::vector<engine::CellChange>& cells;
    explicit Collect(std::vector<engine::CellChange>& into) : cells(into) {}
    void cell(const engine::CellChange& change) override { cells.push_back(change); }
};

} // namespace

FileCells listFileCells(automation::ApplicationFactory& factory, const std::string& path,
                        const std::vector<FindReplacePair>& pairs, const ListingOptions& options) {
    FileCells listed;
    listed.path = path;
    Options context(options);
    Collect collect(listed.cells);
    const auto done = processFile(
        factory, path,
        [&](automation::Workbook& workbook) {
            return replaceSetsInWorkbook(workbook, PairTexts(pairs, &FindReplacePair::find),
                                         PairTexts(pairs, &FindReplacePair::replacement), context);
        },
        options.show == ListingOptions::Show::Found ? Finish::Search : Finish::DryRun, &collect);
    if (!done) {
        listed.cells.clear();
        listed.failure = done.failure();
    }
    return listed;
}

std::vector<FileCells> listCells(automation::ApplicationFactory& factory,
                                 const std::vector<std::string>& files,
                                 const std::vector<FindReplacePair>& pairs,
                                 const ListingOptions& options) {
    std::vector<FileCells> listings;
    listings.reserve(files.size());
    for (const std::string& file : files) {
        listings.push_back(listFileCells(factory, file, pairs, options));
    }
    return listings;
}

} // namespace run
