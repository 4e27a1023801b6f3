// A worksheet or macro sheet part (ECMA-376 Part 1, 18.3.1.99 worksheet): streamed through the
// scanner cell by cell, with the changed cells spliced and every other byte copied. Memory stays
// bounded by a cell and a chunk, whatever the size of the sheet.
#pragma once

#include "engine/replace_request.h"
#include "formula/formula_tokenizer.h"
#include "formula_edit.h"
#include "plain_cell.h"
#include "rich_text.h"
#include "shared_strings.h"
#include "structured_check.h"
#include "styles.h"
#include "tables.h"
#include "xml/splicer.h"
#include "xml/xml_scanner.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace engine::ooxml {

/// What a sheet's rewrite needs to know from the rest of the workbook.
struct SheetContext {
    std::string sheetName; ///< for messages ("Sheet1!B4")
    std::string partName;
    const PreparedQueue* queue = nullptr;
    std::size_t queueIndex = 0;       ///< the queue's number in the shared string table
    SharedStrings* strings = nullptr; ///< nullptr when the workbook has none
    bool appendStrings = false;       ///< point changed cells at appended strings
    const Styles* styles = nullptr;   ///< nullptr: every cell counts as locked
    std::vector<Table*> tables;       ///< the tables on this sheet
    /// The names of every sheet of the workbook, which changed formulas may refer to;
    /// nullptr: not checked.
    const std::vector<std::string>* sheetNames = nullptr;
    /// False when no request of the queue can match the text of a number, boolean or error
    /// (see constantsMayMatch): their cells are then not looked at.
    bool constants = true;
    /// The shared-formula groups (by si) whose every cell is written out as a plain formula,
    /// because one of their cells changes; nullptr for none.
    const std::set<std::string>* expandGroups = nullptr;
    /// True when shiftsCannotCreateMatches holds for the queue: a cell of a shared-formula
    /// group whose first cell does not match is then not looked at.
    bool membersFollowMaster = false;
    /// True when editsCommuteWithShifts holds for the queue (and so membersFollowMaster): the
    /// other cells of a group whose first cell changes then take that cell's new formula,
    /// shifted, instead of each being shifted, matched and checked on its own.
    bool membersFollowEditedMaster = false;
    /// True when the workbook has tables whose columns a header cell may rename: every
    /// structured reference is then noted, not only those a replacement writes.
    bool noteAllStructured = false;
    /// When set, each cell that changes is noted here as the formula bar shows it before and
    /// after (a table's header cell as such); the caller clears it before each pass.
    std::vector<CellChange>* cells = nullptr;
    /// Search only: nothing changes or is counted; each cell whose text some request of the
    /// queue, on its own, matches is noted in cells as it is. The shared strings must have
    /// been loaded for a search too.
    bool search = false;
    /// False: every cell goes through the scanner's events, even one that readPlainCell
    /// could take in one step (for tests that compare the two ways).
    bool readPlainCells = true;
};

/// False when the text of no number (in its General form), boolean ("TRUE", "FALSE") or error
/// constant ("#N/A") can hold the find text of any request: each find text has a character that
/// none of those texts has. A cheap test that lets most runs skip those cells, and lets sheets
/// without any candidate text go unparsed.
bool constantsMayMatch(const std::vector<ReplaceRequest>& requests);

/// True when shifting a shared formula to another cell of its group cannot make or break a
/// match of any request: what a shift changes are the letters of a column (at most three,
/// between characters that are not letters), the digits of a row, and a reference that falls
/// off the sheet becoming "#REF!". So when each find text has no digit and none of "$#!:",
/// and every run of letters in it (counting any character beyond ASCII as a letter, as case
/// folding may turn one into an ASCII letter) is at least four characters long, a cell of a
/// group matches exactly when the group's first cell does.
bool shiftsCannotCreateMatches(const std::vector<ReplaceRequest>& requests);

/// True when, for every request, replacing and shifting references commute: editing a shifted
/// formula gives the shifted edited formula. That holds when find text and replacement alike
/// are letters (any character beyond ASCII counting as one) and spaces, begin and end with a
/// letter, and have no run of fewer than four letters: neither can then be or become part of
/// a reference, nor join its neighbours into one (a column has at most three letters). Implies
/// shiftsCannotCreateMatches.
bool editsCommuteWithShifts(const std::vector<ReplaceRequest>& requests);

class WorksheetRewriter : private xml::ScanHandler {
public:
    WorksheetRewriter(const SheetContext& context, xml::Splicer::Mode mode);
    ~WorksheetRewriter() override;

    /// The next chunk of the part. Errors: those of the scanner (detail names the part),
    /// ProtectedSheet, ResultTooLong (detail names the cell), Corrupt (a shared string that
    /// does not exist).
    Status feed(std::string_view chunk);
    /// After the last chunk.
    Status finish();

    /// Output produced so far (Emit and Deferred modes); drain and clear it after each feed.
    std::string& output() { return m_splicer.output(); }
    /// True when the part's bytes change.
    bool changed() const { return m_splicer.changed() || m_outputLost; }
    /// True when the part changes but Deferred output was given up to bound memory: stop
    /// feeding and run the part again with a new rewriter in Emit mode.
    bool outputLost() const { return m_outputLost; }
    /// Counts of cells changed and replacements made.
    const ReplaceCounts& counts() const { return m_counts; }
    /// References to shared strings that became blank cells.
    std::uint64_t blankedStrings() const { return m_blanked; }
    /// True when a formula changed: cached results and the calculation chain are stale.
    bool formulasChanged() const { return m_formulasChanged; }
    /// Shared-formula groups in which a cell changed that were not in the context's
    /// expandGroups: the sheet must be written again with them expanded.
    const std::set<std::string>& groupsToExpand() const { return m_groupsToExpand; }
    /// The structured references of the sheet's formulas (see SheetContext::noteAllStructured).
    const StructuredUses& structuredUses() const { return m_structured; }
    /// False for a dialog sheet or chart sheet found in a worksheet relationship.
    bool hasCells() const { return m_hasCells; }

    /// How much a Deferred rewrite may hold before it gives up output. Small: holding a
    /// whole large sheet that does not change costs more (copies, page faults) than reading
    /// again the rare large sheet whose first change comes late.
    static constexpr std::size_t kDeferredLimit = 2U << 20;

private:
    enum class CellType { Number, Shared, Inline, Other };
    void startElement(const xml::QName& name, xml::Attributes attributes, xml::Span tag) override;
    void endElement(const xml::QName& name, xml::Span tag) override;
    void characters(std::string_view text) override;
    struct CellAttributes {
        std::optional<std::string_view> r, s, t;
        bool valueMetadata = false; // vm
    };
    void startCell(const CellAttributes& attributes, xml::Span tag);
    void readCellsDirectly(std::uint64_t from);
    void endCell(xml::Span tag);
    // Array formulas and data tables: the cells of their range hold their results.
    void noteFormulaRange();
    bool holdsAFormulaResult();
    void sharedStringCell();
    void inlineStringCell();
    // Numbers, booleans and errors: matched on the text the formula bar shows them as.
    void constantCell();
    // Formulas: matched on the text the formula bar shows, "=" and the formula.
    void formulaCell();
    void writeFormula(std::string_view stored, bool changes, bool unshare);
    // A new edit of span with an empty text to fill, which reuses an earlier edit's memory.
    std::string& addEdit(xml::Span span);
    struct Master;
    void memberFromEditedMaster(Master& master);
    void writeFormulaConstant();
    // before: the formula that formula replaces; nullptr when the formula does not change.
    void noteStructuredReferences(std::string_view formula, const std::string_view* before);
    std::size_t applyQueue();
    bool cellChanges(std::size_t replacements, std::string_view newText);
    // Notes the open cell in the context's cells (which must be set).
    void noteCell(std::string_view before, std::string_view after);
    // Notes the open cell when some request matches its text (search only).
    void noteWhenFound(std::string_view text);
    // The cell's type (t) and value metadata (vm), which describe the value that goes.
    void removeValueAttributes();
    std::string cellName() const;
    void fail(ErrorCode code, std::string detail);

    const SheetContext& m_context;
    xml::Splicer m_splicer;
    xml::Scanner m_scanner;
    ReplaceCounts m_counts;
    std::uint64_t m_blanked = 0;
    int m_depth = 0;
    bool m_hasCells = true;
    bool m_inSheetData = false;
    bool m_protected = false;
    bool m_outputLost = false;
    bool m_gaveUpOutput = false;
    std::string m_lockedChange; // the first locked cell that changes
    std::uint64_t m_safe = 0;   // no splice will start before this offset
    std::uint32_t m_row = 0, m_col = 0;

    // The open cell; its members are reused from cell to cell.
    bool m_inCell = false;
    xml::Span m_cellTag;
    std::uint32_t m_style = 0;
    CellType m_type = CellType::Number;
    std::string m_typeText; // the t attribute as written
    // The cell's value stands for a rich value (a picture in the cell, a linked data type),
    // which the value metadata (vm) points to.
    bool m_valueMetadata = false;
    bool m_formula = false;
    bool m_inValue = false;
    bool m_hasValue = false;
    xml::Span m_valueElement, m_valueContent;
    std::string m_value;
    bool m_inInline = false;
    bool m_hasInline = false;
    RichText m_inline;
    TextOutcome m_outcome;
    std::string m_text, m_scratch; // a constant's text and the work on it
    std::string m_before;          // a constant's text before the queue, when cells are noted

    // The open cell's <f>: its element, content, attributes and decoded text.
    bool m_inFormula = false;
    xml::Span m_formulaElement, m_formulaContent;
    std::string m_formulaType, m_formulaGroup, m_formulaText;
    PlainCell m_plain;            // the last cell read in one step; its strings keep their memory
    bool m_rowUnprefixed = false; // the row being read is written <row ...>
    bool m_formulaHasRef = false;
    // The ranges of the array formulas and data tables met whose last row is not passed yet:
    // their other cells hold the formula's results, not constants.
    struct FormulaRange {
        std::int64_t firstRow, lastRow, firstColumn, lastColumn;
    };
    std::vector<FormulaRange> m_formulaRanges;
    // The master of each shared-formula group met so far: its stored text and position, from
    // which the formula of every later cell of the group follows.
    struct Master {
        std::string text;
        std::uint32_t row = 0, col = 0;
        bool matches = true; // whether the queue matched the first cell's formula
        // The text's tokens, made when the first other cell of the group needs them (empty
        // until then).
        std::vector<formula::Token> tokens;
        // With SheetContext::membersFollowEditedMaster, the first cell's new formula (checked
        // and written), its tokens (made when first needed) and replacements, for the rest of
        // the group.
        bool followEdit = false;
        std::string edited;
        std::vector<formula::Token> editedTokens;
        std::size_t replacements = 0;
    };
    std::map<std::string, Master> m_masters;
    std::set<std::string> m_groupsToExpand;
    // Groups whose first cell changed, written out cell by cell from there on; and groups of
    // which a cell came before the first one (they cannot be expanded in one pass).
    std::set<std::string> m_expandingNow, m_membersBeforeMaster;
    bool m_formulasChanged = false;
    StructuredUses m_structured;
    FormulaEdit m_formulaEdit; // reused from formula to formula
    std::string m_shifted;     // a group cell's formula, shifted from the master's
    std::vector<Edit> m_edits;
    std::vector<std::string> m_spareTexts;
    static constexpr std::size_t kSpareTexts = 8;
};

} // namespace engine::ooxml
