// Fuzz driver for the XML side of the engine: a shared string table and a worksheet from
// arbitrary bytes, through the scanner and the rewriting in every output mode. Built for
// libFuzzer with Clang; with any other compiler, main() below mutates seed parts itself.
#include "ooxml/shared_strings.h"
#include "ooxml/worksheet.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>
#include <set>
#include <sstream>
#include <string>

namespace {

using namespace engine;
using namespace engine::ooxml;

struct Outcome {
    bool ok = true;
    std::string error; // the message when not ok
    std::string output;
};

// One run as a save makes it: when a shared formula changes after cells of its group were
// passed, the sheet is run again with those groups written out cell by cell.
Outcome runOnce(SheetContext context, xml::Splicer::Mode mode, const std::string& sheet,
                std::size_t chunk) {
    std::set<std::string> expand;
    context.expandGroups = &expand;
    for (;;) {
        WorksheetRewriter rewriter(context, mode);
        Outcome outcome;
        for (std::size_t at = 0; at < sheet.size(); at += chunk) {
            auto status = rewriter.feed(std::string_view(sheet).substr(at, chunk));
            if (!status) {
                return {false, status.error().message(), {}};
            }
            outcome.output += rewriter.output();
            rewriter.output().clear();
        }
        if (auto status = rewriter.finish(); !status) {
            return {false, status.error().message(), {}};
        }
        if (mode != xml::Splicer::Mode::Discard && !rewriter.groupsToExpand().empty()) {
            const std::size_t before = expand.size();
            expand.insert(rewriter.groupsToExpand().begin(), rewriter.groupsToExpand().end());
            if (expand.size() == before) {
                std::cerr << "a second pass asked for the same groups again\n";
                std::abort();
            }
            mode = xml::Splicer::Mode::Emit;
            continue;
        }
        outcome.output += rewriter.output();
        return outcome;
    }
}

void rewrite(const std::string& sst, const std::string& sheet) {
    // Text, escapes, references, a word (whose edits commute with shifts), formulas turned
    // into constants, and numbers turned into booleans.
    const std::vector<std::vector<ReplaceRequest>> requests = {
        {{"a", "", false}, {"b", "xx\r ", true}},
        {{"é", "_x0041_", false}},
        {{"A1", "B$2", false}, {"SUM", "&quot;", true}},
        {{"alpha", "omega", false}},
        {{"=", "", true}},
        {{"1", "TRUE", false}},
    };
    std::vector<PreparedQueue> queues;
    for (const auto& r : requests) {
        queues.push_back(prepareQueue(r));
    }
    auto strings = SharedStrings::load(sst, "xl/sharedStrings.xml", queues);
    for (std::size_t queue = 0; queue < queues.size(); ++queue) {
        SheetContext context;
        context.constants = constantsMayMatch(requests[queue]);
        context.membersFollowMaster = shiftsCannotCreateMatches(requests[queue]);
        context.membersFollowEditedMaster = editsCommuteWithShifts(requests[queue]);
        context.sheetName = "S";
        context.partName = "xl/worksheets/sheet1.xml";
        context.queue = &queues[queue];
        context.queueIndex = queue;
        context.strings = strings.ok() ? &strings.value() : nullptr;
        context.appendStrings = true;
        for (auto mode : {xml::Splicer::Mode::Discard, xml::Splicer::Mode::Deferred,
                          xml::Splicer::Mode::Emit}) {
            (void)runOnce(context, mode, sheet, 61);
        }
        // Cells read straight from the bytes must come out exactly as through the scanner's
        // events: the same output, or the same failure.
        context.readPlainCells = false;
        const Outcome events = runOnce(context, xml::Splicer::Mode::Emit, sheet, sheet.size() + 1);
        context.readPlainCells = true;
        for (const std::size_t chunk : {sheet.size() + 1, std::size_t{61}}) {
            const Outcome direct = runOnce(context, xml::Splicer::Mode::Emit, sheet, chunk);
            if (direct.ok != events.ok || direct.error != events.error ||
                direct.output != events.output) {
                std::cerr << "cells read directly disagree with the events (queue " << queue
                          << ", chunk " << chunk << ")\n--- events: " << events.error << "\n"
                          << events.output << "\n--- direct: " << direct.error << "\n"
                          << direct.output << "\n--- sheet:\n"
                          << sheet << "\n";
                std::abort();
            }
        }
    }
    if (strings.ok()) {
        (void)strings.value().write(false, 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The first half is the string table, the second the sheet.
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    rewrite(bytes.substr(0, size / 2), bytes.substr(size / 2));
    return 0;
}

#ifndef VARNOCLIFF_LIBFUZZER
namespace {

const char* const kSeedSst =
    R"(<?xml version="1.0"?><sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" count="3" uniqueCount="3"><si><t>abc é</t></si><si><r><rPr><b/></rPr><t>bé</t></r><r><t xml:space="preserve"> a_x000D_</t></r></si><si><t>漢</t><rPh sb="0" eb="1"><t>か</t></rPh><phoneticPr fontId="1"/></si></sst>)";
const char* const kSeedSheet =
    R"(<?xml version="1.0"?><worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData><row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1" s="1" t="s"><v>1</v></c><c t="inlineStr"><is><r><t>é</t></r><r><t>é&amp;</t></r></is></c><c r="D1"><f>IF(A1=&quot;ab&quot;,1,0)</f><v>1</v></c><c r="E1" s="2"><f t="shared" ref="E1:E3" si="0">SUM(A1:B1)&amp;"alpha"</f><v>3</v></c><c r="F1" t="b"><v>1</v></c></row><row r="2"><c r="E2"><f t="shared" si="0"/><v>3</v></c><c r="F2" t="e"><v>#N/A</v></c><c r="G2"><v>1.5</v></c></row><row><c t="s"><v>2</v></c><c r="E3"><f t="shared" si="0"/></c><c r="F3" t="str"><f>"b"&amp;A1</f><v>b1</v></c><c r="G3"/></row></sheetData><sheetProtection sheet="1"/></worksheet>)";

// One random change of the kinds that break XML: flipped bits, cuts, copied spans, and
// markup characters dropped in.
void mutate(std::string& bytes, std::mt19937_64& random) {
    if (bytes.empty()) {
        bytes.push_back('<');
        return;
    }
    auto at = [&] { return static_cast<std::size_t>(random() % bytes.size()); };
    static const char* const kMarkup[] = {"<",   ">",   "&",  "&amp;",        "\"",   "/>", "</c>",
                                          "<t>", "<r>", "_x", "<!DOCTYPE a>", "\xC3", "\0"};
    switch (random() % 5) {
    case 0:
        bytes[at()] ^= static_cast<char>(1U << (random() % 8));
        break;
    case 1:
        bytes.resize(at());
        break;
    case 2: {
        const std::size_t from = at(), length = random() % 80, to = at();
        bytes.insert(to, bytes.substr(from, length));
        break;
    }
    case 3:
        bytes.insert(at(), kMarkup[random() % std::size(kMarkup)]);
        break;
    default:
        bytes.erase(at(), random() % 16);
        break;
    }
}

std::string readFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

// Usage: xml_rewrite_fuzz ITERATIONS SEED [SST SHEET]; each iteration applies 1-4 mutations to
// the seed parts (built in, or the two files given).
int main(int argc, char** argv) {
    const long iterations = argc > 1 ? std::atol(argv[1]) : 1000;
    std::mt19937_64 random(argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1);
    const std::string sst = argc > 4 ? readFile(argv[3]) : kSeedSst;
    const std::string sheet = argc > 4 ? readFile(argv[4]) : kSeedSheet;
    for (long i = 0; i < iterations; ++i) {
        std::string a = sst, b = sheet;
        // Every other input without the sheet's protection, so that changes are written
        // rather than refused.
        if (const auto at = b.find("<sheetProtection"); at != std::string::npos && i % 2 == 1) {
            b.erase(at, b.find('>', at) + 1 - at);
        }
        for (int m = 1 + static_cast<int>(random() % 4); m > 0; --m) {
            mutate(random() % 2 == 0 ? a : b, random);
        }
        rewrite(a, b);
    }
    std::cout << iterations << " inputs rewritten without a crash\n";
    return 0;
}
#endif
