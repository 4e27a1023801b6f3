// Every formula stored in the corpus of real workbooks goes through the formula library: none
// may be rejected as malformed (a false rejection would fail a user's file), the tokens must
// place every character, the prefix view must map back, and shifting must be reversible.
#include "../corpus_files.h"
#include "formula_tokenizer.h"
#include "function_prefixes.h"
#include "references.h"
#include "zip/zip_archive.h"

#include <expat.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace engine::formula {
namespace {

namespace fs = std::filesystem;

struct Formula {
    std::string file;
    std::string text;
};

bool isOoxmlWorkbook(const fs::path& p) {
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".xlsx" || ext == ".xlsm" || ext == ".xltx" || ext == ".xltm";
}

// Collects the text of every <f> element (any namespace) of a sheet part.
struct FormulaCollector {
    std::vector<std::string>* out = nullptr;
    bool inFormula = false;
    std::string text;

    static bool isF(const XML_Char* name) {
        const std::string_view n(name);
        const std::size_t sep = n.rfind('|');
        return (sep == std::string_view::npos ? n : n.substr(sep + 1)) == "f";
    }
    static void XMLCALL start(void* self, const XML_Char* name, const XML_Char**) {
        auto* c = static_cast<FormulaCollector*>(self);
        if (isF(name)) {
            c->inFormula = true;
            c->text.clear();
        }
    }
    static void XMLCALL end(void* self, const XML_Char* name) {
        auto* c = static_cast<FormulaCollector*>(self);
        if (isF(name) && c->inFormula) {
            if (!c->text.empty()) {
                c->out->push_back(c->text);
            }
            c->inFormula = false;
        }
    }
    static void XMLCALL chars(void* self, const XML_Char* s, int len) {
        auto* c = static_cast<FormulaCollector*>(self);
        if (c->inFormula) {
            c->text.append(s, static_cast<std::size_t>(len));
        }
    }
};

std::vector<std::string> formulasOfSheet(const std::string& xml) {
    std::vector<std::string> formulas;
    FormulaCollector collector;
    collector.out = &formulas;
    XML_Parser parser = XML_ParserCreateNS(nullptr, '|');
    XML_SetUserData(parser, &collector);
    XML_SetElementHandler(parser, &FormulaCollector::start, &FormulaCollector::end);
    XML_SetCharacterDataHandler(parser, &FormulaCollector::chars);
    XML_Parse(parser, xml.data(), static_cast<int>(xml.size()), 1);
    XML_ParserFree(parser);
    return formulas;
}

std::vector<Formula> corpusFormulas(const fs::path& folder) {
    std::vector<Formula> all;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; it != end; it.increment(ec)) {
        if (ec || !it->is_regular_file(ec) || !isOoxmlWorkbook(it->path())) {
            continue;
        }
        auto archive = engine::zip::ZipReader::open(it->path());
        if (!archive) {
            continue; // encrypted or not a ZIP: no formulas to read
        }
        const auto& entries = archive.value()->entries();
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const std::string_view name = entries[i].name;
            if (!(name.starts_with("xl/worksheets/") || name.starts_with("xl/macrosheets/")) ||
                !name.ends_with(".xml") || !entries[i].readable() ||
                entries[i].uncompressedSize > 64U * 1024 * 1024) {
                continue;
            }
            auto xml = archive.value()->readAll(i);
            if (!xml) {
                continue;
            }
            for (std::string& f : formulasOfSheet(xml.value())) {
                all.push_back({it->path().filename().string(), std::move(f)});
            }
        }
    }
    return all;
}

std::string upper(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return s;
}

std::size_t countRefErrors(const std::string& s) {
    std::size_t n = 0;
    for (std::size_t at = upper(s).find("#REF!"); at != std::string::npos;
         at = upper(s).find("#REF!", at + 1)) {
        ++n;
    }
    return n;
}

TEST(CorpusFormulas, AllPassTheFormulaLibrary) {
    const fs::path folder = corpus::folder();
    std::error_code ec;
    if (folder.empty() || !fs::is_directory(folder, ec)) {
        GTEST_SKIP() << "corpus of real workbooks not found beside the project";
    }
    const std::vector<Formula> formulas = corpusFormulas(folder);
    ASSERT_GT(formulas.size(), 1000u) << "the corpus should hold thousands of formulas";
    std::size_t failures = 0;
    for (const Formula& f : formulas) {
        SCOPED_TRACE(f.file + ": " + f.text.substr(0, 200));
        if (const auto reason = checkWellFormed(f.text)) {
            ADD_FAILURE() << "rejected: " << *reason;
            ++failures;
        }
        for (const Token& t : tokenize(f.text)) {
            if (t.kind == TokenKind::Unknown) {
                ADD_FAILURE() << "unknown token " << f.text.substr(t.offset, t.length);
                ++failures;
            }
        }
        const FormulaView view = withoutFunctionPrefixes(f.text);
        if (restoreFunctionPrefixes(view, view.text) != f.text) {
            ADD_FAILURE() << "prefix view does not map back";
            ++failures;
        }
        const std::string moved = shiftReferences(f.text, 3, 2);
        if (countRefErrors(moved) == countRefErrors(f.text) &&
            upper(shiftReferences(moved, -3, -2)) != upper(f.text)) {
            ADD_FAILURE() << "shifting back gives " << shiftReferences(moved, -3, -2);
            ++failures;
        }
        ASSERT_LT(failures, 50u) << "stopping after 50 failures";
    }
}

} // namespace
} // namespace engine::formula
