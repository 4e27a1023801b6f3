// OoxmlWorkbook: open reads the structure; save and dryRun stream every sheet with a queue
// through a WorksheetRewriter and write the package anew, copying untouched entries verbatim.
#include "ooxml_workbook.h"

#include "calculation.h"
#include "namespaces.h"
#include "package/lock_files.h"
#include "package/output_file.h"
#include "relationships.h"
#include "shared_strings.h"
#include "sheet_frame.h"
#include "structured_check.h"
#include "styles.h"
#include "tables.h"
#include "text/ascii.h"
#include "workbook_part.h"
#include "worksheet.h"
#include "zip/zip_writer.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <system_error>
#include <thread>

namespace engine::ooxml {
namespace {

Result<std::string> readPart(const zip::ZipReader& zip, const std::string& name) {
    const auto index = zip.find(name);
    if (!index) {
        return Error{ErrorCode::Corrupt, name + " is missing"};
    }
    auto bytes = zip.readAll(*index);
    if (!bytes) {
        return Error{bytes.error().code, name + ": " + bytes.error().detail};
    }
    return bytes;
}

// Relationships of a part; a part without a .rels part has none.
Result<std::vector<Relationship>> readRelationships(const zip::ZipReader& zip,
                                                    const std::string& part) {
    const std::string relsName = relationshipsPartName(part);
    if (!zip.find(relsName)) {
        return std::vector<Relationship>{};
    }
    auto bytes = readPart(zip, relsName);
    if (!bytes) {
        return bytes.error();
    }
    return parseRelationships(bytes.value(), relsName, part);
}

// The local name of a part's root element, from its first chunk.
class RootPeek : public xml::ScanHandler {
public:
    std::string root;
    void startElement(const xml::QName& name, xml::Attributes /*attributes*/,
                      xml::Span /*tag*/) override {
        if (root.empty()) {
            root = name.local;
        }
    }
    void endElement(const xml::QName& /*name*/, xml::Span /*tag*/) override {}
};

Result<std::string> rootElement(const zip::ZipReader& zip, std::size_t entry) {
    // The root start tag comes first (after a declaration and perhaps comments): scan a few
    // kilobytes at a time and stop as soon as it is seen, not the whole part.
    RootPeek peek;
    xml::Scanner scanner(peek);
    auto read = zip.readStreamUntil(entry, [&](std::string_view chunk) -> Result<zip::Reading> {
        constexpr std::size_t kStep = 4096;
        for (std::size_t at = 0; at < chunk.size() && peek.root.empty(); at += kStep) {
            if (auto parsed = scanner.feed(chunk.substr(at, kStep), false); !parsed) {
                return Error{ErrorCode::Corrupt, parsed.error().detail};
            }
        }
        if (peek.root.empty() && scanner.fed() < (1U << 20)) {
            return zip::Reading::Continue;
        }
        return zip::Reading::Stop;
    });
    if (!read) {
        return read.error();
    }
    return peek.root;
}

// True when a sheet may hold a cell that its queue changes although no shared string changes
// and no number, boolean or error can match: an inline string or a formula. Found without
// parsing, by the type "inlineStr" or a formula element ("<f", or ":f" with a prefix) in the
// raw bytes; a character reference anywhere could spell that type in disguise, so it counts
// too. A false alarm only costs a parse.
Result<bool> mayHoldChangeableCells(const zip::ZipReader& zip, std::size_t entry) {
    constexpr std::array<std::string_view, 4> kNeedles = {"inlineStr", "&#", "<f", ":f"};
    const auto holds = [&](std::string_view bytes) {
        return std::ranges::any_of(
            kNeedles, [&](std::string_view n) { return bytes.find(n) != std::string_view::npos; });
    };
    SheetFrame frame; // a sheet that is not parsed is still checked for damage
    std::string tail; // the end of the previous chunk, for words split across chunks
    auto stopped = zip.readStreamUntil(entry, [&](std::string_view chunk) -> Result<zip::Reading> {
        frame.feed(chunk);
        tail.append(chunk.substr(0, 16));
        if (frame.utf16() || holds(tail) || holds(chunk)) {
            return zip::Reading::Stop;
        }
        tail.assign(chunk.substr(chunk.size() > 16 ? chunk.size() - 16 : 0));
        return zip::Reading::Continue;
    });
    if (!stopped) {
        return stopped.error();
    }
    if (auto framed = frame.check(!stopped.value()); !framed) {
        return framed.error();
    }
    return stopped.value();
}

// Notes the structured references of the formulas of a part that is not rewritten: the cell
// formulas of a sheet without a queue, or the defined names of the workbook part. They do not
// change, but may name a column that a header cell renames.
class FormulaCollector : public xml::ScanHandler {
public:
    FormulaCollector(std::string sheetName, StructuredUses& uses)
        : m_sheetName(std::move(sheetName)), m_uses(uses) {}
    xml::Scanner* scanner = nullptr; // set once the scanner made with this handler exists

    void startElement(const xml::QName& name, xml::Attributes attributes,
                      xml::Span /*tag*/) override {
        if (!isMain(name.uri)) {
            return;
        }
        if (name.local == "c") {
            const char* r = xml::findAttribute(attributes, "r");
            m_where = m_sheetName + "!" + (r != nullptr ? r : "");
            return;
        }
        if (name.local == "definedName") {
            const char* n = xml::findAttribute(attributes, "name");
            m_where = std::string("defined name ") + (n != nullptr ? n : "");
        } else if (name.local != "f") {
            return;
        }
        m_text.clear();
        m_inText = true;
        scanner->wantCharacters(true);
    }
    void endElement(const xml::QName& /*name*/, xml::Span /*tag*/) override {
        if (m_inText) {
            m_uses.note(m_where, m_text, nullptr, true);
            m_inText = false;
            scanner->wantCharacters(false);
        }
    }
    void characters(std::string_view text) override { m_text.append(text); }

private:
    std::string m_sheetName, m_where, m_text;
    StructuredUses& m_uses;
    bool m_inText = false;
};

Status noteFormulasOf(const zip::ZipReader& zip, const std::string& part, std::string sheetName,
                      StructuredUses& uses) {
    const auto entry = zip.find(part);
    if (!entry) {
        return Unit{};
    }
    FormulaCollector collector(std::move(sheetName), uses);
    xml::Scanner scanner(collector);
    collector.scanner = &scanner;
    Status status = zip.readStream(
        *entry, [&](std::string_view chunk) -> Status { return scanner.feed(chunk, false); });
    if (status) {
        status = scanner.feed({}, true);
    }
    if (!status) {
        return Error{status.error().code, part + ": " + status.error().detail};
    }
    return Unit{};
}

std::optional<package::FileIdentity> identityOf(const std::filesystem::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return package::FileIdentity::of(info);
}

} // namespace

Result<std::unique_ptr<Workbook>> OoxmlWorkbook::open(const std::filesystem::path& path,
                                                      std::unique_ptr<zip::ZipReader> zip,
                                                      const OpenOptions& options) {
    std::unique_ptr<OoxmlWorkbook> book(new OoxmlWorkbook());
    book->m_path = path;
    book->m_options = options;
    book->m_identity = package::FileIdentity::of(zip->fileStatus());

    for (const auto& e : zip->entries()) {
        // Any edit breaks an XML digital signature (OPC, ECMA-376 Part 2, 12): refuse rather
        // than save a workbook whose signature silently became invalid.
        if (text::startsWithIgnoringAsciiCase(e.name, "_xmlsignatures/")) {
            return Error{ErrorCode::DigitallySigned, {}};
        }
    }
    if (!zip->find("[Content_Types].xml")) {
        if (zip->find("mimetype") || zip->find("content.xml")) {
            return Error{ErrorCode::UnsupportedFormat, "OpenDocument spreadsheet"};
        }
        return Error{ErrorCode::NotAWorkbook, "a ZIP archive without [Content_Types].xml"};
    }
    auto typesBytes = readPart(*zip, "[Content_Types].xml");
    if (!typesBytes) {
        return typesBytes.error();
    }
    auto types = ContentTypes::parse(typesBytes.value());
    if (!types) {
        return types.error();
    }

    auto packageRels = readRelationships(*zip, "");
    if (!packageRels) {
        return packageRels.error();
    }
    std::string mainPart;
    for (const auto& r : packageRels.value()) {
        if (r.type == kSignatureOrigin) {
            return Error{ErrorCode::DigitallySigned, {}};
        }
        if (isRelationshipType(r.type, "officeDocument") && !r.external && mainPart.empty()) {
            mainPart = r.target;
        }
    }
    if (mainPart.empty()) {
        return Error{ErrorCode::NotAWorkbook, "no main document in the package"};
    }
    const std::string mainType = types.value().typeOf(mainPart);
    if (mainType.find("binary") != std::string::npos || mainPart.ends_with(".bin")) {
        return Error{ErrorCode::UnsupportedFormat, "binary workbook (.xlsb)"};
    }
    if (mainType.find("spreadsheetml") == std::string::npos &&
        mainType.find("ms-excel") == std::string::npos) {
        return Error{ErrorCode::NotAWorkbook, "the package holds a document of type " + mainType};
    }

    book->m_workbookPart = mainPart;
    auto workbookBytes = readPart(*zip, mainPart);
    if (!workbookBytes) {
        return workbookBytes.error();
    }
    auto sheets = parseWorkbookSheets(workbookBytes.value(), mainPart);
    if (!sheets) {
        return sheets.error();
    }
    auto workbookRels = readRelationships(*zip, mainPart);
    if (!workbookRels) {
        return workbookRels.error();
    }
    for (const auto& r : workbookRels.value()) {
        if (r.external) {
            continue;
        }
        if (isRelationshipType(r.type, "sharedStrings")) {
            book->m_sharedStringsPart = r.target;
        } else if (isRelationshipType(r.type, "styles")) {
            book->m_stylesPart = r.target;
        } else if (isRelationshipType(r.type, "calcChain")) {
            book->m_calcChainPart = r.target;
            book->m_calcChainId = r.id;
        }
    }

    for (const auto& entry : sheets.value()) {
        SheetInfo info{entry.name, false};
        Sheet sheet;
        const auto rel =
            std::find_if(workbookRels.value().begin(), workbookRels.value().end(),
                         [&](const Relationship& r) { return r.id == entry.relationshipId; });
        const bool cellKind = rel != workbookRels.value().end() && !rel->external &&
                              (isRelationshipType(rel->type, "worksheet") ||
                               rel->type == kMacroSheetType || rel->type == kIntlMacroSheetType);
        if (cellKind) {
            const auto index = zip->find(rel->target);
            if (!index) {
                return Error{ErrorCode::Corrupt,
                             rel->target + " (sheet \"" + entry.name + "\") is missing"};
            }
            // A dialog sheet is stored behind a worksheet relationship; only its content type
            // or its root element tells (ECMA-376 Part 1, 12.3.7).
            const std::string type = types.value().typeOf(rel->target);
            const auto root = rootElement(*zip, *index);
            if (!root) {
                return Error{root.error().code, rel->target + ": " + root.error().detail};
            }
            const std::string& name = root.value();
            // Anything else behind a sheet's relationship is damage, not a sheet without cells:
            // passing it as unchanged would hide that the workbook cannot be read.
            if (name != "worksheet" && name != "macrosheet" && name != "dialogsheet") {
                return Error{ErrorCode::Corrupt,
                             rel->target + " (sheet \"" + entry.name + "\") " +
                                 (name.empty()
                                      ? std::string("holds no XML element")
                                      : "has the root element <" + name + ">, not a worksheet's")};
            }
            info.hasCells = type.find("dialogsheet") == std::string::npos && name != "dialogsheet";
            if (info.hasCells) {
                sheet.partName = rel->target;
                sheet.entry = *index;
                auto sheetRels = readRelationships(*zip, rel->target);
                if (!sheetRels) {
                    return sheetRels.error();
                }
                for (const auto& r : sheetRels.value()) {
                    if (!r.external && isRelationshipType(r.type, "table")) {
                        sheet.tableParts.push_back(r.target);
                    }
                }
            }
        }
        book->m_infos.push_back(std::move(info));
        book->m_sheets.push_back(std::move(sheet));
    }
    book->m_zip = std::move(zip);
    return std::unique_ptr<Workbook>(std::move(book));
}

void OoxmlWorkbook::queueReplace(std::size_t sheetIndex, const ReplaceRequest& request) {
    if (sheetIndex < m_sheets.size() && m_infos[sheetIndex].hasCells) {
        m_sheets[sheetIndex].queue.push_back(request);
    }
}

Result<ReplaceCounts> OoxmlWorkbook::save() {
    auto result = run(Mode::Save);
    for (auto& s : m_sheets) {
        s.queue.clear();
    }
    deliverCells(result ? cellListener() : nullptr);
    return result;
}

Result<ReplaceCounts> OoxmlWorkbook::dryRun() {
    auto result = run(Mode::DryRun);
    deliverCells(result ? cellListener() : nullptr);
    return result;
}

Status OoxmlWorkbook::search(CellListener& listener) {
    auto result = run(Mode::Search);
    deliverCells(result ? &listener : nullptr);
    if (!result) {
        return result.error();
    }
    return Unit{};
}

void OoxmlWorkbook::deliverCells(CellListener* listener) {
    // Cells are held until the whole workbook succeeded: a listener never hears of a cell
    // that a failure later left as it was, nor twice of a sheet that was read again.
    if (listener != nullptr) {
        for (const CellChange& change : m_cells) {
            listener->cell(change);
        }
    }
    m_cells.clear();
}

namespace {

bool sameQueue(const std::vector<ReplaceRequest>& a, const std::vector<ReplaceRequest>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const ReplaceRequest& x, const ReplaceRequest& y) {
                          return x.find == y.find && x.replacement == y.replacement &&
                                 x.matchCase == y.matchCase && x.wholeCell == y.wholeCell;
                      });
}

} // namespace

struct OoxmlWorkbook::QueueGroups {
    std::vector<std::vector<ReplaceRequest>> distinct;
    std::vector<PreparedQueue> prepared;
    std::vector<int> queueOf; // per sheet: its group, or -1 when it has no queue
    bool everySheetSame = true;
};

struct OoxmlWorkbook::WorkbookParts {
    std::optional<Styles> styles;
    std::optional<SharedStrings> strings;
    std::optional<std::size_t> stringsEntry;
    // Every table of the workbook, by its part's entry: structured references may name a
    // table on any sheet.
    std::vector<std::pair<std::size_t, Table>> tables;
    std::vector<std::size_t> tableSheet; // the sheet of each table
    std::vector<std::string> sheetNames; // every sheet, which formulas may name
};

struct OoxmlWorkbook::SheetOutcome {
    ReplaceCounts counts;
    std::uint64_t blanked = 0;
    bool formulasChanged = false;
    StructuredUses structured;
    std::unique_ptr<zip::DeflateStream> output; // the new sheet, when it changed and is written
    std::vector<CellChange> cells;              // with noteCells
};

Result<ReplaceCounts> OoxmlWorkbook::run(Mode runMode) {
    const bool write = runMode == Mode::Save;
    const bool search = runMode == Mode::Search;
    const bool noteCells = search || cellListener() != nullptr;
    m_cells.clear();
    QueueGroups groups = groupQueues();
    if (groups.prepared.empty()) {
        return ReplaceCounts{};
    }
    if (auto ready = prepareToRun(write); !ready) {
        return ready.error();
    }
    auto loaded = loadParts(groups, search);
    if (!loaded) {
        return loaded.error();
    }
    WorkbookParts& parts = loaded.value();

    auto outcomes = rewriteSheets(groups, parts, write, search, noteCells);
    if (!outcomes) {
        return outcomes.error();
    }
    ReplaceCounts counts;
    ChangedEntries changed; // by entry index, so they are written in order
    std::uint64_t blanked = 0;
    bool formulasChanged = false;
    StructuredUses structured;
    std::vector<bool> scanned(m_sheets.size(), false);
    for (auto& [i, sheet] : outcomes.value()) {
        if (noteCells) {
            std::ranges::move(sheet.cells, std::back_inserter(m_cells));
            noteTableFormulas(i, groups, parts, search);
        }
        scanned[i] = true;
        counts.replacements += sheet.counts.replacements;
        counts.cellsChanged += sheet.counts.cellsChanged;
        blanked += sheet.blanked;
        formulasChanged = formulasChanged || sheet.formulasChanged;
        structured.add(sheet.structured);
        if (sheet.output) {
            changed[m_sheets[i].entry].stream = std::move(sheet.output);
        }
    }

    if (search) {
        return counts;
    }
    auto finished = finishParts(parts, structured, scanned, groups.everySheetSame, blanked,
                                formulasChanged, changed);
    if (!finished) {
        return finished.error();
    }
    if (!write || changed.empty()) {
        return counts;
    }
    std::set<std::size_t> removed;
    if (finished.value()) {
        if (auto status = recalculateOnLoad(changed, removed); !status) {
            return status.error();
        }
    }
    if (auto saved = writePackage(changed, removed); !saved) {
        return saved.error();
    }
    return counts;
}

OoxmlWorkbook::QueueGroups OoxmlWorkbook::groupQueues() const {
    QueueGroups groups;
    groups.queueOf.assign(m_sheets.size(), -1);
    for (std::size_t i = 0; i < m_sheets.size(); ++i) {
        if (!m_infos[i].hasCells) {
            continue;
        }
        const auto& q = m_sheets[i].queue;
        if (q.empty()) {
            groups.everySheetSame = false;
            continue;
        }
        auto it = std::find_if(groups.distinct.begin(), groups.distinct.end(),
                               [&](const auto& d) { return sameQueue(d, q); });
        if (it == groups.distinct.end()) {
            it = groups.distinct.insert(groups.distinct.end(), q);
        }
        groups.queueOf[i] = static_cast<int>(it - groups.distinct.begin());
    }
    groups.everySheetSame = groups.everySheetSame && groups.distinct.size() == 1;

    bool anyRequest = false;
    for (const auto& q : groups.distinct) {
        groups.prepared.push_back(prepareQueue(q));
        anyRequest = anyRequest || !groups.prepared.back().empty();
    }
    if (!anyRequest) {
        groups.prepared.clear();
    }
    return groups;
}

Status OoxmlWorkbook::prepareToRun(bool write) {
    if (!m_zip) {
        auto reopened = zip::ZipReader::open(m_path);
        if (!reopened) {
            return reopened.error();
        }
        if (!(package::FileIdentity::of(reopened.value()->fileStatus()) == m_identity)) {
            return Error{ErrorCode::Vanished, m_path.string() + " was changed by another program"};
        }
        m_zip = std::move(reopened.value());
    }
    if (!write) {
        return Unit{};
    }
    if (identityOf(m_path) != m_identity) {
        return Error{ErrorCode::Vanished, m_path.string()};
    }
    if (m_options.honourLockFiles) {
        return package::checkLockFiles(m_path);
    }
    return Unit{};
}

void OoxmlWorkbook::noteTableFormulas(std::size_t index, const QueueGroups& groups,
                                      const WorkbookParts& parts, bool search) {
    const PreparedQueue& queue = groups.prepared[static_cast<std::size_t>(groups.queueOf[index])];
    for (std::size_t t = 0; t < parts.tables.size(); ++t) {
        if (parts.tableSheet[t] != index) {
            continue;
        }
        const Table& table = parts.tables[t].second;
        for (const auto& formula : table.formulas()) {
            std::string before = shownFormula(formula.before);
            if (search ? !anyRequestMatches(queue, before) : !formula.changed) {
                continue;
            }
            std::string after = search ? before : shownFormula(formula.text);
            m_cells.push_back({m_infos[index].name, table.cells(formula), CellKind::TableFormula,
                               std::move(before), std::move(after)});
        }
    }
}

Result<OoxmlWorkbook::WorkbookParts> OoxmlWorkbook::loadParts(const QueueGroups& groups,
                                                              bool search) const {
    WorkbookParts parts;
    if (!m_stylesPart.empty() && m_zip->find(m_stylesPart)) {
        auto bytes = readPart(*m_zip, m_stylesPart);
        if (!bytes) {
            return bytes.error();
        }
        auto parsed = Styles::parse(bytes.value(), m_stylesPart);
        if (!parsed) {
            return parsed.error();
        }
        parts.styles = std::move(parsed.value());
    }
    if (!m_sharedStringsPart.empty()) {
        parts.stringsEntry = m_zip->find(m_sharedStringsPart);
        if (parts.stringsEntry) {
            auto bytes = readPart(*m_zip, m_sharedStringsPart);
            if (!bytes) {
                return bytes.error();
            }
            auto loaded = SharedStrings::load(std::move(bytes.value()), m_sharedStringsPart,
                                              groups.prepared, search);
            if (!loaded) {
                return loaded.error();
            }
            parts.strings = std::move(loaded.value());
        }
    }

    for (std::size_t i = 0; i < m_sheets.size(); ++i) {
        for (const auto& part : m_sheets[i].tableParts) {
            const auto entry = m_zip->find(part);
            if (!entry) {
                continue;
            }
            auto bytes = m_zip->readAll(*entry);
            if (!bytes) {
                return Error{bytes.error().code, part + ": " + bytes.error().detail};
            }
            auto table = Table::parse(std::move(bytes.value()), part);
            if (!table) {
                return table.error();
            }
            parts.tables.emplace_back(*entry, std::move(table.value()));
        }
        parts.tableSheet.resize(parts.tables.size(), i);
    }
    for (const auto& info : m_infos) {
        parts.sheetNames.push_back(info.name);
    }
    return parts;
}

Result<SheetContext> OoxmlWorkbook::contextFor(std::size_t index, const QueueGroups& groups,
                                               WorkbookParts& parts, bool search) const {
    SheetContext context;
    context.sheetName = m_infos[index].name;
    context.partName = m_sheets[index].partName;
    context.queueIndex = static_cast<std::size_t>(groups.queueOf[index]);
    context.queue = &groups.prepared[context.queueIndex];
    context.strings = parts.strings ? &*parts.strings : nullptr;
    context.appendStrings = !groups.everySheetSame;
    context.styles = parts.styles ? &*parts.styles : nullptr;
    const auto& requests = groups.distinct[context.queueIndex];
    context.constants = constantsMayMatch(requests);
    context.membersFollowMaster = shiftsCannotCreateMatches(requests);
    context.membersFollowEditedMaster = editsCommuteWithShifts(requests);
    context.noteAllStructured = !parts.tables.empty();
    context.sheetNames = &parts.sheetNames;
    context.search = search;
    for (std::size_t t = 0; t < parts.tables.size(); ++t) {
        if (parts.tableSheet[t] == index) {
            Table& table = parts.tables[t].second;
            context.tables.push_back(&table);
            if (search) {
                continue;
            }
            auto replaced = table.replaceInFormulas(*context.queue, parts.sheetNames);
            if (!replaced) {
                return replaced.error();
            }
        }
    }
    return context;
}

Result<std::vector<std::pair<std::size_t, OoxmlWorkbook::SheetOutcome>>>
OoxmlWorkbook::rewriteSheets(const QueueGroups& groups, WorkbookParts& parts, bool write,
                             bool search, bool noteCells) const {
    std::vector<std::size_t> sheets;
    std::vector<SheetContext> contexts;
    std::optional<Error> contextError; // stops the list at its sheet, reported in sheet order
    for (std::size_t i = 0; i < m_sheets.size() && !contextError; ++i) {
        if (groups.queueOf[i] < 0) {
            continue;
        }
        auto context = contextFor(i, groups, parts, search);
        if (!context) {
            contextError = context.error();
            break;
        }
        sheets.push_back(i);
        contexts.push_back(std::move(context.value()));
    }

    // Sheets are rewritten side by side when nothing they write is shared: with one queue for
    // every sheet, none appends shared strings (whose numbers depend on the order of appending).
    const unsigned jobs =
        m_options.jobs != 0 ? m_options.jobs : std::max(1U, std::thread::hardware_concurrency());
    const bool sideBySide = jobs > 1 && sheets.size() > 1 && groups.everySheetSame;
    const auto threads =
        sideBySide ? static_cast<unsigned>(std::min<std::size_t>(jobs, sheets.size())) : 1U;
    // The threads not busy with a sheet of their own deflate blocks of the one being written.
    const unsigned blockJobs = std::max(1U, jobs / threads);

    std::vector<std::optional<Result<SheetOutcome>>> outcomes(sheets.size());
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    const auto work = [&] {
        // Sheets are taken in order: once one failed, every sheet not yet started comes after
        // it, and is not needed to tell which failure came first.
        for (std::size_t k; !failed && (k = next++) < sheets.size();) {
            outcomes[k] = rewriteSheet(std::move(contexts[k]), m_sheets[sheets[k]].entry, write,
                                       blockJobs, noteCells);
            if (!*outcomes[k]) {
                failed = true;
            }
        }
    };
    {
        std::vector<std::jthread> helpers;
        for (unsigned t = 1; t < threads; ++t) {
            helpers.emplace_back(work);
        }
        work();
    }

    std::vector<std::pair<std::size_t, SheetOutcome>> done;
    for (std::size_t k = 0; k < sheets.size() && outcomes[k]; ++k) {
        if (!*outcomes[k]) {
            return outcomes[k]->error();
        }
        done.emplace_back(sheets[k], std::move(outcomes[k]->value()));
    }
    if (contextError) {
        return *contextError;
    }
    return done;
}

Result<OoxmlWorkbook::SheetOutcome> OoxmlWorkbook::rewriteSheet(SheetContext context,
                                                                std::size_t entry, bool write,
                                                                unsigned deflateJobs,
                                                                bool noteCells) const {
    SheetOutcome outcome;
    context.cells = noteCells ? &outcome.cells : nullptr;
    if (!context.constants &&
        (!context.strings || !context.strings->anyChange(context.queueIndex))) {
        auto candidates = mayHoldChangeableCells(*m_zip, entry);
        if (!candidates) {
            return Error{candidates.error().code,
                         context.partName + ": " + candidates.error().detail};
        }
        if (!candidates.value()) {
            return outcome; // nothing in this sheet can change, no formula either: left unparsed
        }
    }

    // Output is kept for a changed sheet only; Deferred mode starts it at the first change.
    auto mode = write ? xml::Splicer::Mode::Deferred : xml::Splicer::Mode::Discard;
    std::set<std::string> expandGroups;
    context.expandGroups = &expandGroups;
    for (;;) {
        outcome.cells.clear(); // a sheet read again notes its cells again
        WorksheetRewriter rewriter(context, mode);
        auto stream = zip::DeflateStream::forRewrite(
            deflateJobs,
            mode == xml::Splicer::Mode::Discard ? 0 : m_zip->entries()[entry].uncompressedSize);
        SheetFrame frame;
        auto outputLost =
            m_zip->readStreamUntil(entry, [&](std::string_view chunk) -> Result<zip::Reading> {
                frame.feed(chunk);
                if (auto fed = rewriter.feed(chunk); !fed) {
                    return fed.error();
                }
                if (rewriter.outputLost()) {
                    return zip::Reading::Stop;
                }
                if (!rewriter.output().empty()) {
                    auto written = stream->write(rewriter.output());
                    rewriter.output().clear();
                    if (!written) {
                        return written.error();
                    }
                }
                return zip::Reading::Continue;
            });
        if (!outputLost) {
            const auto& e = outputLost.error();
            if (e.detail.find(context.partName) == std::string::npos &&
                e.code != ErrorCode::ProtectedSheet && e.code != ErrorCode::ResultTooLong) {
                return Error{e.code, context.partName + ": " + e.detail};
            }
            return e;
        }
        if (outputLost.value()) {
            // A large sheet changed after Deferred output was given up: read it again, writing
            // from the start.
            mode = xml::Splicer::Mode::Emit;
            continue;
        }
        if (auto framed = frame.check(); !framed) {
            return Error{framed.error().code, context.partName + ": " + framed.error().detail};
        }
        auto finished = rewriter.finish();
        if (!finished) {
            return finished.error();
        }
        if (write && !rewriter.groupsToExpand().empty()) {
            // A shared formula changed after cells of its group were passed: write the sheet
            // again, every cell of those groups with its own formula.
            expandGroups.insert(rewriter.groupsToExpand().begin(), rewriter.groupsToExpand().end());
            mode = xml::Splicer::Mode::Emit;
            continue;
        }
        outcome.formulasChanged = rewriter.formulasChanged();
        outcome.structured = rewriter.structuredUses();
        outcome.counts = rewriter.counts();
        outcome.blanked = rewriter.blankedStrings();
        if (write && rewriter.changed()) {
            auto written = stream->write(rewriter.output());
            if (written) {
                written = stream->finish();
            }
            if (!written) {
                return written.error();
            }
            outcome.output = std::move(stream);
        }
        return outcome;
    }
}

Result<bool> OoxmlWorkbook::finishParts(WorkbookParts& parts, StructuredUses& structured,
                                        const std::vector<bool>& scanned, bool everySheetSame,
                                        std::uint64_t blanked, bool formulasChanged,
                                        ChangedEntries& changed) const {
    if (auto checked = checkTables(parts.tables, structured, scanned); !checked) {
        return checked.error();
    }
    for (auto& [entry, table] : parts.tables) {
        if (!table.changed()) {
            continue;
        }
        formulasChanged = formulasChanged || table.formulasChanged();
        auto bytes = table.write();
        if (!bytes) {
            return bytes.error();
        }
        changed[entry].bytes = std::move(bytes.value());
    }
    if (parts.strings && parts.stringsEntry) {
        if (auto bytes = parts.strings->write(everySheetSame, blanked)) {
            changed[*parts.stringsEntry].bytes = std::move(*bytes);
        }
    }
    return formulasChanged;
}

Status OoxmlWorkbook::writePackage(const ChangedEntries& changed,
                                   const std::set<std::size_t>& removed) {
    const zip::ZipReader& source = *m_zip;
    auto saved = package::replaceFileAtomically(
        m_path,
        [&](package::OutputFile& out) -> Status {
            zip::ZipWriter writer(out);
            const auto& entries = source.entries();
            for (std::size_t i = 0; i < entries.size(); ++i) {
                if (removed.contains(i)) {
                    continue;
                }
                const auto it = changed.find(i);
                Status s = it == changed.end() ? writer.copyRaw(source, i)
                           : it->second.stream ? writer.addDeflated(entries[i], *it->second.stream)
                                               : writer.addBytes(entries[i], it->second.bytes);
                if (!s) {
                    return s;
                }
            }
            return writer.finish(source);
        },
        package::ReplaceOptions{m_options.backupSuffix, m_identity});
    if (!saved) {
        return saved;
    }
    // Later reads must see the new file, not the one the reader still holds open; it is
    // opened again only if this workbook is used again.
    m_zip.reset();
    m_identity = identityOf(m_path).value_or(package::FileIdentity{});
    return Unit{};
}

Status OoxmlWorkbook::checkTables(const std::vector<std::pair<std::size_t, Table>>& tables,
                                  StructuredUses& structured,
                                  const std::vector<bool>& scanned) const {
    std::vector<const Table*> all;
    bool renamed = false;
    for (const auto& [entry, table] : tables) {
        all.push_back(&table);
        renamed = renamed || table.renamed();
        for (const auto& formula : table.formulas()) {
            const std::string_view before = formula.before;
            structured.note(table.describe(formula), formula.text,
                            formula.changed ? &before : nullptr, true);
        }
    }
    if (renamed) {
        // Formulas that were not looked at may name a renamed column too.
        for (std::size_t i = 0; i < m_sheets.size(); ++i) {
            if (!scanned[i] && m_infos[i].hasCells) {
                auto noted =
                    noteFormulasOf(*m_zip, m_sheets[i].partName, m_infos[i].name, structured);
                if (!noted) {
                    return noted;
                }
            }
        }
        auto noted = noteFormulasOf(*m_zip, m_workbookPart, "", structured);
        if (!noted) {
            return noted;
        }
    }
    return checkStructuredReferences(structured.uses(), all);
}

Status OoxmlWorkbook::recalculateOnLoad(ChangedEntries& changed,
                                        std::set<std::size_t>& removed) const {
    // Cached results of changed formulas are gone and others may be stale: the workbook is
    // recalculated when opened.
    const auto workbookEntry = m_zip->find(m_workbookPart);
    if (!workbookEntry) {
        return Error{ErrorCode::Corrupt, m_workbookPart + " is missing"};
    }
    auto workbook = readPart(*m_zip, m_workbookPart);
    if (!workbook) {
        return workbook.error();
    }
    auto marked = markFullCalculation(workbook.value(), m_workbookPart);
    if (!marked) {
        return marked.error();
    }
    changed[*workbookEntry].bytes = std::move(marked.value());

    // The calculation chain would name cells that no longer hold a formula, which Excel
    // reports as damage; it is optional, so it goes with its relationship and content type.
    if (m_calcChainPart.empty()) {
        return Unit{};
    }
    if (const auto chain = m_zip->find(m_calcChainPart)) {
        removed.insert(*chain);
    }
    const std::string relsName = relationshipsPartName(m_workbookPart);
    if (const auto relsEntry = m_zip->find(relsName)) {
        auto rels = readPart(*m_zip, relsName);
        if (!rels) {
            return rels.error();
        }
        auto without = removeRelationship(rels.value(), relsName, m_calcChainId);
        if (!without) {
            return without.error();
        }
        changed[*relsEntry].bytes = std::move(without.value());
    }
    if (const auto typesEntry = m_zip->find("[Content_Types].xml")) {
        auto types = readPart(*m_zip, "[Content_Types].xml");
        if (!types) {
            return types.error();
        }
        auto without = removeOverride(types.value(), m_calcChainPart);
        if (!without) {
            return without.error();
        }
        if (without.value() != types.value()) {
            changed[*typesEntry].bytes = std::move(without.value());
        }
    }
    return Unit{};
}

} // namespace engine::ooxml
