// OoxmlWorkbook: open reads the structure; save and dryRun stream every sheet with a queue
// through a WorksheetRewriter and write the package anew, copying untouched entries verbatim.
#include "ooxml_workbook.h"

#include "calculation.h"
#include "namespaces.h"
#include "package/lock_files.h"
#include "package/output_file.h"
#include "relationships.h"
#include "shared_strings.h"
#include "structured_check.h"
#include "styles.h"
#include "tables.h"
#include "workbook_part.h"
#include "worksheet.h"
#include "zip/zip_writer.h"

#include <algorithm>
#include <array>
#include <map>
#include <set>
#include <system_error>

namespace engine::ooxml {
namespace {

// A sink's way of stopping readStream early; never leaves this file.
const char* const kStopReading = "stop reading";
bool isStop(const Status& s) {
    return !s && s.error().detail == kStopReading;
}

bool startsWithIgnoringCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(s[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i]))) {
            return false;
        }
    }
    return true;
}

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

std::string rootElement(const zip::ZipReader& zip, std::size_t entry) {
    // The root start tag comes first (after a declaration and perhaps comments): scan a few
    // kilobytes at a time and stop as soon as it is seen, not the whole part.
    RootPeek peek;
    xml::Scanner scanner(peek);
    (void)zip.readStream(entry, [&](std::string_view chunk) -> Status {
        constexpr std::size_t kStep = 4096;
        for (std::size_t at = 0; at < chunk.size() && peek.root.empty(); at += kStep) {
            if (!scanner.feed(chunk.substr(at, kStep), false)) {
                break;
            }
        }
        if (peek.root.empty() && scanner.fed() < (1U << 20)) {
            return Unit{};
        }
        return Error{ErrorCode::IoError, kStopReading};
    });
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
    bool found = false;
    std::string tail; // the end of the previous chunk, for words split across chunks
    Status status = zip.readStream(entry, [&](std::string_view chunk) -> Status {
        tail.append(chunk.substr(0, 16));
        if (holds(tail) || holds(chunk)) {
            found = true;
            return Error{ErrorCode::IoError, kStopReading};
        }
        tail.assign(chunk.substr(chunk.size() > 16 ? chunk.size() - 16 : 0));
        return Unit{};
    });
    if (!status && !isStop(status)) {
        return status.error();
    }
    return found;
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

bool fileIdentity(const std::filesystem::path& path, std::filesystem::file_time_type& modified,
                  std::uintmax_t& size) {
    std::error_code ec;
    modified = std::filesystem::last_write_time(path, ec);
    if (ec) {
        return false;
    }
    size = std::filesystem::file_size(path, ec);
    return !ec;
}

} // namespace

Result<std::unique_ptr<Workbook>> OoxmlWorkbook::open(const std::filesystem::path& path,
                                                      std::unique_ptr<zip::ZipReader> zip,
                                                      const OpenOptions& options) {
    std::unique_ptr<OoxmlWorkbook> book(new OoxmlWorkbook());
    book->m_path = path;
    book->m_options = options;
    if (!fileIdentity(path, book->m_modified, book->m_size)) {
        return Error{ErrorCode::Vanished, path.string()};
    }

    for (const auto& e : zip->entries()) {
        // Any edit breaks an XML digital signature (OPC, ECMA-376 Part 2, 12): refuse rather
        // than save a workbook whose signature silently became invalid.
        if (startsWithIgnoringCase(e.name, "_xmlsignatures/")) {
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
            const std::string root = rootElement(*zip, *index);
            info.hasCells = type.find("dialogsheet") == std::string::npos &&
                            (root == "worksheet" || root == "macrosheet");
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
    auto result = run(true);
    for (auto& s : m_sheets) {
        s.queue.clear();
    }
    return result;
}

Result<ReplaceCounts> OoxmlWorkbook::dryRun() {
    return run(false);
}

namespace {

bool sameQueue(const std::vector<ReplaceRequest>& a, const std::vector<ReplaceRequest>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const ReplaceRequest& x, const ReplaceRequest& y) {
                          return x.find == y.find && x.replacement == y.replacement &&
                                 x.matchCase == y.matchCase;
                      });
}

} // namespace

Result<ReplaceCounts> OoxmlWorkbook::run(bool write) {
    ReplaceCounts counts;
    // Sheets with the same queue share one result per shared string.
    std::vector<std::vector<ReplaceRequest>> distinct;
    std::vector<int> queueOf(m_sheets.size(), -1);
    bool everySheetSame = true;
    for (std::size_t i = 0; i < m_sheets.size(); ++i) {
        if (!m_infos[i].hasCells) {
            continue;
        }
        const auto& q = m_sheets[i].queue;
        if (q.empty()) {
            everySheetSame = false;
            continue;
        }
        auto it = std::find_if(distinct.begin(), distinct.end(),
                               [&](const auto& d) { return sameQueue(d, q); });
        if (it == distinct.end()) {
            it = distinct.insert(distinct.end(), q);
        }
        queueOf[i] = static_cast<int>(it - distinct.begin());
    }
    if (distinct.empty()) {
        return counts;
    }
    everySheetSame = everySheetSame && distinct.size() == 1;

    std::vector<PreparedQueue> prepared;
    bool anyRequest = false;
    for (const auto& q : distinct) {
        prepared.push_back(prepareQueue(q));
        anyRequest = anyRequest || !prepared.back().empty();
    }
    if (!anyRequest) {
        return counts;
    }
    if (!m_zip) {
        auto reopened = zip::ZipReader::open(m_path);
        if (!reopened) {
            return reopened.error();
        }
        m_zip = std::move(reopened.value());
    }

    if (write) {
        std::filesystem::file_time_type modified;
        std::uintmax_t size = 0;
        if (!fileIdentity(m_path, modified, size) || modified != m_modified || size != m_size) {
            return Error{ErrorCode::Vanished, m_path.string()};
        }
        if (m_options.honourLockFiles) {
            auto locked = package::checkLockFiles(m_path);
            if (!locked) {
                return locked.error();
            }
        }
    }

    std::optional<Styles> styles;
    if (!m_stylesPart.empty() && m_zip->find(m_stylesPart)) {
        auto bytes = readPart(*m_zip, m_stylesPart);
        if (!bytes) {
            return bytes.error();
        }
        auto parsed = Styles::parse(bytes.value(), m_stylesPart);
        if (!parsed) {
            return parsed.error();
        }
        styles = std::move(parsed.value());
    }
    std::optional<SharedStrings> strings;
    std::optional<std::size_t> stringsEntry;
    if (!m_sharedStringsPart.empty()) {
        stringsEntry = m_zip->find(m_sharedStringsPart);
        if (stringsEntry) {
            auto bytes = readPart(*m_zip, m_sharedStringsPart);
            if (!bytes) {
                return bytes.error();
            }
            auto loaded =
                SharedStrings::load(std::move(bytes.value()), m_sharedStringsPart, prepared);
            if (!loaded) {
                return loaded.error();
            }
            strings = std::move(loaded.value());
        }
    }

    // Every table of the workbook, by its part's entry: structured references may name a
    // table on any sheet.
    std::vector<std::pair<std::size_t, Table>> tables;
    std::vector<std::size_t> tableSheet; // the sheet of each table
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
            tables.emplace_back(*entry, std::move(table.value()));
        }
        tableSheet.resize(tables.size(), i);
    }

    std::vector<std::string> sheetNames; // every sheet, which formulas may name
    for (const auto& info : m_infos) {
        sheetNames.push_back(info.name);
    }

    std::map<std::size_t, NewEntry> changed; // by entry index, so they are written in order
    std::uint64_t blanked = 0;
    bool formulasChanged = false;
    StructuredUses structured;
    std::vector<bool> scanned(m_sheets.size(), false);
    for (std::size_t i = 0; i < m_sheets.size(); ++i) {
        if (queueOf[i] < 0) {
            continue;
        }
        const Sheet& sheet = m_sheets[i];
        SheetContext context;
        context.sheetName = m_infos[i].name;
        context.partName = sheet.partName;
        context.queueIndex = static_cast<std::size_t>(queueOf[i]);
        context.queue = &prepared[context.queueIndex];
        context.strings = strings ? &*strings : nullptr;
        context.appendStrings = !everySheetSame;
        context.styles = styles ? &*styles : nullptr;
        context.constants = constantsMayMatch(distinct[context.queueIndex]);
        context.membersFollowMaster = shiftsCannotCreateMatches(distinct[context.queueIndex]);
        context.membersFollowEditedMaster = editsCommuteWithShifts(distinct[context.queueIndex]);
        context.noteAllStructured = !tables.empty();
        context.sheetNames = &sheetNames;
        for (std::size_t t = 0; t < tables.size(); ++t) {
            if (tableSheet[t] == i) {
                Table& table = tables[t].second;
                context.tables.push_back(&table);
                auto replaced = table.replaceInFormulas(*context.queue, sheetNames);
                if (!replaced) {
                    return replaced.error();
                }
            }
        }

        if (!context.constants && (!strings || !strings->anyChange(context.queueIndex))) {
            auto candidates = mayHoldChangeableCells(*m_zip, sheet.entry);
            if (!candidates) {
                return Error{candidates.error().code,
                             sheet.partName + ": " + candidates.error().detail};
            }
            if (!candidates.value()) {
                scanned[i] = true; // no formula either
                continue;          // nothing in this sheet can change: no need to parse it
            }
        }

        // Output is kept for a changed sheet only; Deferred mode starts it at the first change.
        auto mode = write ? xml::Splicer::Mode::Deferred : xml::Splicer::Mode::Discard;
        std::set<std::string> expandGroups;
        context.expandGroups = &expandGroups;
        for (;;) {
            WorksheetRewriter rewriter(context, mode);
            auto stream = std::make_unique<zip::DeflateStream>(zip::kRewriteDeflateLevel);
            Status status = m_zip->readStream(sheet.entry, [&](std::string_view chunk) -> Status {
                auto fed = rewriter.feed(chunk);
                if (!fed) {
                    return fed;
                }
                if (rewriter.outputLost()) {
                    return Error{ErrorCode::IoError, kStopReading};
                }
                if (!rewriter.output().empty()) {
                    auto written = stream->write(rewriter.output());
                    rewriter.output().clear();
                    return written;
                }
                return Unit{};
            });
            if (isStop(status)) {
                // A large sheet changed after Deferred output was given up: read it again,
                // writing from the start.
                mode = xml::Splicer::Mode::Emit;
                continue;
            }
            if (!status) {
                const auto& e = status.error();
                if (e.detail.find(sheet.partName) == std::string::npos &&
                    e.code != ErrorCode::ProtectedSheet && e.code != ErrorCode::ResultTooLong) {
                    return Error{e.code, sheet.partName + ": " + e.detail};
                }
                return status.error();
            }
            auto finished = rewriter.finish();
            if (!finished) {
                return finished.error();
            }
            if (write && !rewriter.groupsToExpand().empty()) {
                // A shared formula changed after cells of its group were passed: write the
                // sheet again, every cell of those groups with its own formula.
                expandGroups.insert(rewriter.groupsToExpand().begin(),
                                    rewriter.groupsToExpand().end());
                mode = xml::Splicer::Mode::Emit;
                continue;
            }
            formulasChanged = formulasChanged || rewriter.formulasChanged();
            structured.add(rewriter.structuredUses());
            scanned[i] = true;
            counts.replacements += rewriter.counts().replacements;
            counts.cellsChanged += rewriter.counts().cellsChanged;
            blanked += rewriter.blankedStrings();
            if (write && rewriter.changed()) {
                auto written = stream->write(rewriter.output());
                if (written) {
                    written = stream->finish();
                }
                if (!written) {
                    return written.error();
                }
                changed[sheet.entry].stream = std::move(stream);
            }
            break;
        }
    }

    auto checked = checkTables(tables, structured, scanned);
    if (!checked) {
        return checked.error();
    }
    for (auto& [entry, table] : tables) {
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
    if (strings && stringsEntry) {
        if (auto bytes = strings->write(everySheetSame, blanked)) {
            changed[*stringsEntry].bytes = std::move(*bytes);
        }
    }
    if (!write || changed.empty()) {
        return counts;
    }
    std::set<std::size_t> removed;
    if (formulasChanged) {
        auto status = recalculateOnLoad(changed, removed);
        if (!status) {
            return status.error();
        }
    }

    const zip::ZipReader& source = *m_zip;
    auto saved = package::replaceFileAtomically(m_path, [&](package::OutputFile& out) -> Status {
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
    });
    if (!saved) {
        return saved.error();
    }
    // Later reads must see the new file, not the one the reader still holds open; it is
    // opened again only if this workbook is used again.
    m_zip.reset();
    fileIdentity(m_path, m_modified, m_size);
    return counts;
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

Status OoxmlWorkbook::recalculateOnLoad(std::map<std::size_t, NewEntry>& changed,
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
