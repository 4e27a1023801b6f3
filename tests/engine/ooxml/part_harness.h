// Test helpers for the part code: running one sheet and its shared string table through the
// rewriting without a ZIP, and reading a cell's text back from the output with a plain scan.
#pragma once

#include "ooxml/rich_text.h"
#include "ooxml/shared_strings.h"
#include "ooxml/worksheet.h"
#include "text/text_replace.h"
#include "xml/xml_scanner.h"

#include <optional>
#include <string>
#include <vector>

namespace engine::ooxml::testing {

inline const std::string kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";

/// A worksheet part with the given cells inside <sheetData><row r="1">.
inline std::string sheetXml(const std::string& cells, const std::string& after = {}) {
    return R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
           "\n<worksheet xmlns=\"" +
           kMain + "\"><sheetData><row r=\"1\">" + cells + "</row></sheetData>" + after +
           "</worksheet>";
}

inline std::string sstXml(const std::vector<std::string>& items) {
    std::string out = "<sst xmlns=\"" + kMain + "\" count=\"" + std::to_string(items.size()) +
                      "\" uniqueCount=\"" + std::to_string(items.size()) + "\">";
    for (const auto& i : items) {
        out += "<si>" + i + "</si>";
    }
    return out + "</sst>";
}

/// The result of running a sheet through the rewriting.
struct SheetRun {
    Status status = Unit{};
    std::string sheet;                  // the new sheet part (the old one when unchanged)
    std::optional<std::string> strings; // the new sst part when it changed
    ReplaceCounts counts;
};

/// Runs `sheet` (fed in chunks of `chunk` bytes) and `sst` with one queue; readPlainCells as
/// in SheetContext.
inline SheetRun runSheet(const std::string& sheet, const std::string& sst,
                         const std::vector<ReplaceRequest>& requests, std::size_t chunk = 7,
                         bool protectedStyles = false, bool readPlainCells = true) {
    SheetRun run;
    std::vector<PreparedQueue> queues;
    queues.push_back(prepareQueue(requests));
    std::optional<SharedStrings> strings;
    if (!sst.empty()) {
        auto loaded = SharedStrings::load(sst, "xl/sharedStrings.xml", queues);
        if (!loaded) {
            run.status = loaded.error();
            return run;
        }
        strings = std::move(loaded.value());
    }
    SheetContext context;
    context.sheetName = "Sheet1";
    context.partName = "xl/worksheets/sheet1.xml";
    context.queue = &queues[0];
    context.strings = strings ? &*strings : nullptr;
    (void)protectedStyles;
    context.readPlainCells = readPlainCells;
    WorksheetRewriter rewriter(context, xml::Splicer::Mode::Deferred);
    std::string out;
    for (std::size_t at = 0; at < sheet.size(); at += chunk) {
        run.status = rewriter.feed(std::string_view(sheet).substr(at, chunk));
        if (!run.status) {
            return run;
        }
        out += rewriter.output();
        rewriter.output().clear();
    }
    run.status = rewriter.finish();
    if (!run.status) {
        return run;
    }
    out += rewriter.output();
    run.sheet = rewriter.changed() ? out : sheet;
    run.counts = rewriter.counts();
    if (strings) {
        run.strings = strings->write(true, rewriter.blankedStrings());
    }
    return run;
}

/// Reads every cell text of a sheet: "" for a cell that is blank, the decoded text of a
/// shared or inline string otherwise. A deliberately simple reader, separate from the code
/// under test: it only collects <t> texts outside phonetic runs.
class CellReader : public xml::ScanHandler {
public:
    std::vector<std::string> strings;           // of the sst
    std::vector<std::string> cells;             // in sheet order
    std::vector<std::vector<std::string>> runs; // the runs of each string read

    void startElement(const xml::QName& name, xml::Attributes attributes, xml::Span) override {
        m_path.emplace_back(name.local);
        if (name.local == "si" || name.local == "is") {
            m_text.clear();
            runs.emplace_back();
        } else if (name.local == "c") {
            const char* t = xml::findAttribute(attributes, "t");
            m_type = t != nullptr ? t : "";
            m_value.clear();
            m_text.clear();
        } else if (name.local == "t" && !inPhonetic()) {
            m_inT = true;
            runs.back().emplace_back();
        } else if (name.local == "v") {
            m_inV = true;
        }
    }
    void endElement(const xml::QName& name, xml::Span) override {
        m_path.pop_back();
        if (name.local == "t") {
            m_inT = false;
        } else if (name.local == "v") {
            m_inV = false;
        } else if (name.local == "si") {
            strings.push_back(text::decodeEscapes(m_text));
        } else if (name.local == "c") {
            if (m_type == "s") {
                cells.push_back(strings.at(std::stoul(m_value)));
            } else if (m_type == "inlineStr") {
                cells.push_back(text::decodeEscapes(m_text));
            } else {
                cells.push_back("");
            }
        }
    }
    void characters(std::string_view text) override {
        if (m_inT) {
            m_text.append(text);
            runs.back().back().append(text);
        } else if (m_inV) {
            m_value.append(text);
        }
    }

private:
    bool inPhonetic() const {
        for (const auto& p : m_path) {
            if (p == "rPh") {
                return true;
            }
        }
        return false;
    }
    std::vector<std::string> m_path;
    std::string m_type, m_value, m_text;
    bool m_inT = false, m_inV = false;
};

/// Reads the cells of `sheet` with the strings of `sst` (which may be empty).
inline CellReader readCells(const std::string& sst, const std::string& sheet) {
    CellReader reader;
    xml::Scanner scanner(reader);
    scanner.wantCharacters(true);
    if (!sst.empty()) {
        auto s = scanner.scanAll(sst);
        if (!s) {
            throw std::runtime_error(s.error().message());
        }
    }
    xml::Scanner sheetScanner(reader);
    sheetScanner.wantCharacters(true);
    auto s = sheetScanner.scanAll(sheet);
    if (!s) {
        throw std::runtime_error(s.error().message());
    }
    return reader;
}

} // namespace engine::ooxml::testing
