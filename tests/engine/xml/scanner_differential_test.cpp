// The scanner's own parser against expat: on generated documents, on mutations of them and on
// every XML part of the corpus of real workbooks, both must accept and reject the same inputs,
// and where they accept, report the same elements, attributes, tag spans and text.
#include "../corpus_files.h"
#include "xml/expat_scanner.h"
#include "xml/xml_scanner.h"
#include "zip/zip_archive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace engine::xml {
namespace {

// Writes every event as a line; text between two element events is joined first, since
// parsers may split it anywhere. Text is asked for only inside elements whose local name
// starts with "t", as the engine asks for it only inside the elements it reads.
template <typename ScannerType>
class Recorder : public ScanHandler {
public:
    ScannerType* scanner = nullptr;
    std::string log;

    void startElement(const QName& name, Attributes attributes, Span tag) override {
        flush();
        log += "S " + std::string(name.uri) + "|" + std::string(name.local);
        for (auto* a = attributes; *a != nullptr; a += 2) {
            log += " [" + std::string(a[0]) + "]=[" + std::string(a[1]) + "]";
        }
        log += " @" + std::to_string(tag.begin) + "-" + std::to_string(tag.end) + "\n";
        scanner->wantCharacters(name.local.starts_with("t"));
    }
    void endElement(const QName& name, Span tag) override {
        flush();
        log += "E " + std::string(name.uri) + "|" + std::string(name.local) + " @" +
               std::to_string(tag.begin) + "-" + std::to_string(tag.end) + "\n";
        scanner->wantCharacters(false);
    }
    void characters(std::string_view text) override { m_text += text; }
    void flush() {
        if (!m_text.empty()) {
            log += "T " + m_text + "\n";
            m_text.clear();
        }
    }

private:
    std::string m_text;
};

struct Outcome {
    bool ok = false;
    ErrorCode code = ErrorCode::Corrupt;
    std::string log;
    std::string detail;
};

template <typename ScannerType>
Outcome scan(const std::string& input, std::size_t chunk) {
    Recorder<ScannerType> recorder;
    ScannerType scanner(recorder);
    recorder.scanner = &scanner;
    Status status = Unit{};
    std::size_t at = 0;
    do {
        const std::size_t n = std::min(chunk, input.size() - at);
        status = scanner.feed(std::string_view(input).substr(at, n), at + n == input.size());
        at += n;
    } while (status.ok() && at < input.size());
    recorder.flush();
    Outcome out;
    out.ok = status.ok();
    out.log = recorder.log;
    if (!out.ok) {
        out.code = status.error().code;
        out.detail = status.error().detail;
    }
    return out;
}

// Compares the two parsers on one input, fed in chunks of the given size to ours; sets
// accepted to whether expat accepted it.
void expectSameOutcome(const std::string& input, std::size_t chunk, const std::string& what,
                       bool* accepted = nullptr) {
    const Outcome reference = scan<ExpatScanner>(input, input.size() + 1);
    const Outcome ours = scan<Scanner>(input, chunk);
    if (accepted != nullptr) {
        *accepted = reference.ok;
    }
    ASSERT_EQ(ours.ok, reference.ok)
        << what << " (chunk " << chunk << ")\nexpat: " << reference.detail
        << "\nours: " << ours.detail << "\ninput: " << input.substr(0, 2000);
    if (reference.ok) {
        ASSERT_EQ(ours.log, reference.log) << what << " (chunk " << chunk << ")";
    } else {
        ASSERT_EQ(ours.code, reference.code)
            << what << ": " << reference.detail << " / " << ours.detail;
    }
}

// Random documents with what workbook parts have and what XML allows besides: namespaces
// (default, prefixed, redeclared, undeclared), both quotes, references, line ends, CDATA,
// comments, processing instructions, empty elements and non-ASCII text and names.
class DocumentGenerator {
public:
    explicit DocumentGenerator(unsigned seed) : m_random(seed) {}

    std::string document() {
        std::string out;
        switch (pick(4)) {
        case 0:
            out += "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";
            break;
        case 1:
            out += "\xEF\xBB\xBF<?xml version='1.0'?>";
            break;
        case 2:
            out += "<!-- before -->\n";
            break;
        default:
            break;
        }
        element(out, 0, true);
        if (pick(3) == 0) {
            out += "\n<?after x?><!--c-->\n";
        }
        return out;
    }

private:
    std::size_t pick(std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(m_random);
    }

    std::string name() {
        static const char* const kNames[] = {"c", "v", "t",   "row", "is",
                                             "r", "f", "tab", "é",   "x_1.a-b"};
        static const char* const kPrefixes[] = {"", "", "", "x:", "y:", "xml:"};
        std::string prefix = kPrefixes[pick(6)];
        if (prefix == "xml:") {
            prefix = "";
        }
        return prefix + kNames[pick(10)];
    }

    std::string text() {
        static const char* const kPieces[] = {"alpha",
                                              " ",
                                              "&amp;",
                                              "&lt;&gt;",
                                              "&#65;",
                                              "&#x1F600;",
                                              "\r\n",
                                              "\r",
                                              "\n",
                                              "\t",
                                              "é",
                                              "日本",
                                              "]",
                                              "]]",
                                              "&quot;&apos;",
                                              "_x000D_",
                                              "\xF0\x9F\x98\x80",
                                              "1.5E+20"};
        std::string out;
        for (std::size_t i = pick(6); i > 0; --i) {
            out += kPieces[pick(18)];
        }
        return out;
    }

    std::string attributeValue(char quote) {
        static const char* const kPieces[] = {"A1",   "s",    "&amp;", "&#10;",   "\t",
                                              "\r\n", "é",    " x ",   "&#x9;",   ">",
                                              "\n",   "&lt;", "\"'",   "preserve"};
        std::string out;
        for (std::size_t i = pick(4); i > 0; --i) {
            std::string piece = kPieces[pick(14)];
            if (piece == "\"'") {
                piece = quote == '"' ? "'" : "\"";
            }
            out += piece;
        }
        return out;
    }

    void element(std::string& out, int depth, bool root) {
        const std::string tag =
            root ? std::string(pick(2) == 0 ? "x:worksheet" : "worksheet") : name();
        out += "<" + tag;
        if (root) {
            out += " xmlns=\"http://a.example/main\" xmlns:x=\"http://a.example/x\"";
            if (pick(2) == 0) {
                out += "\n\txmlns:y='http://a.example/y'";
            }
        } else if (pick(8) == 0) {
            out += pick(2) == 0 ? " xmlns=\"\"" : " xmlns:y=\"http://a.example/y2\"";
        }
        static const char* const kAttributes[] = {"r", "s", "t", "x:r", "xml:space", "y:z", "a"};
        std::vector<std::string> used;
        for (std::size_t i = pick(4); i > 0; --i) {
            std::string attribute = kAttributes[pick(7)];
            if (std::find(used.begin(), used.end(), attribute) != used.end()) {
                continue;
            }
            used.push_back(attribute);
            const char quote = pick(2) == 0 ? '"' : '\'';
            out += std::string(pick(3) == 0 ? "\n  " : " ") + attribute +
                   (pick(4) == 0 ? " = " : "=") + quote + attributeValue(quote) + quote;
        }
        if (!root && (depth > 4 || pick(5) == 0)) {
            out += pick(2) == 0 ? "/>" : " />";
            return;
        }
        out += ">";
        for (std::size_t i = pick(depth > 2 ? 3 : 6); i > 0; --i) {
            switch (pick(8)) {
            case 0:
            case 1:
                out += text();
                break;
            case 2:
                out += "<![CDATA[" + text() + "<&>]]>";
                break;
            case 3:
                out += "<!-- " + text().substr(0, 0) + "note - é -->";
                break;
            case 4:
                out += "<?pi data?>";
                break;
            default:
                element(out, depth + 1, false);
                break;
            }
        }
        out += "</" + tag + (pick(5) == 0 ? " >" : ">");
    }

    std::mt19937 m_random;
};

TEST(ScannerAgainstExpat, GeneratedDocumentsGiveTheSameEventsInAnyChunks) {
    DocumentGenerator generator(20261207);
    int accepted = 0;
    for (int i = 0; i < 3000; ++i) {
        const std::string document = generator.document();
        for (const std::size_t chunk :
             {std::size_t{1}, std::size_t{7}, std::size_t{64}, document.size() + 1}) {
            bool ok = false;
            expectSameOutcome(document, chunk, "document " + std::to_string(i), &ok);
            if (HasFatalFailure()) {
                return;
            }
            accepted += ok ? 1 : 0;
        }
    }
    // Most generated documents are well formed (a prefix may go undeclared), so the events,
    // not only the verdicts, are compared.
    EXPECT_GT(accepted, 3000 * 4 / 2);
}

TEST(ScannerAgainstExpat, LargeDocumentsGiveTheSameEventsInLargeChunks) {
    // Chunks larger than the scanner's first bite at an unfinished token (4 KiB), so that a
    // token is finished from the front of a chunk and the rest of it read in place.
    DocumentGenerator generator(31);
    std::string document = "<?xml version=\"1.0\"?>\r\n<x:sheet xmlns:x=\"http://a.example/x\" "
                           "xmlns:y=\"http://a.example/y\">";
    while (document.size() < (1U << 20)) {
        std::string part = generator.document();
        const auto root = part.find("<worksheet");
        const auto prefixed = part.find("<x:worksheet");
        const auto at = std::min(root, prefixed);
        const auto after = part.rfind('>');
        if (at == std::string::npos || after == std::string::npos) {
            continue;
        }
        document += part.substr(at, after + 1 - at); // one whole root element, nested
        document += std::string(generator.document().size() % 7, ' ') + "&#13;&amp;\r\n";
    }
    document += "</x:sheet>";
    const Outcome reference = scan<ExpatScanner>(document, document.size());
    ASSERT_TRUE(reference.ok) << reference.detail;
    ASSERT_GT(reference.log.size(), document.size() / 4);
    for (const std::size_t chunk : {std::size_t{4093}, std::size_t{10007}, std::size_t{65536}}) {
        expectSameOutcome(document, chunk, "large document");
        if (HasFatalFailure()) {
            return;
        }
    }
}

TEST(ScannerAgainstExpat, DamagedDocumentsAreRefusedAlike) {
    DocumentGenerator generator(7);
    std::mt19937 random(99);
    static const char kBytes[] = {'<', '>', '&', ';', '"', '\'',   '/',  '=',    ':',    '!',
                                  '?', '-', ']', ' ', 'a', '\x01', '\0', '\x80', '\xC3', '\xFF'};
    for (int i = 0; i < 20000; ++i) {
        std::string document = generator.document();
        for (int edits = 1 + static_cast<int>(random() % 3); edits > 0; --edits) {
            const std::size_t at = random() % document.size();
            switch (random() % 4) {
            case 0:
                document[at] = kBytes[random() % sizeof(kBytes)];
                break;
            case 1:
                document.insert(at, 1, kBytes[random() % sizeof(kBytes)]);
                break;
            case 2:
                document.erase(at, 1 + random() % 3);
                break;
            default:
                document.resize(at);
                break;
            }
            if (document.empty()) {
                break;
            }
        }
        expectSameOutcome(document, 1 + random() % 100, "damaged document " + std::to_string(i));
        if (HasFatalFailure()) {
            return;
        }
    }
}

TEST(ScannerAgainstExpat, EdgeCasesAreReadAlike) {
    const std::vector<std::string> inputs = {
        "<a/>",
        "<a></a >",
        "<a>]]></a>",
        "<a>]] ></a>",
        "<a b='1' b='2'/>",
        "<a x:b='1' y:b='2' xmlns:x='u' xmlns:y='u'/>",
        "<a xmlns='u' xmlns='v'/>",
        "<a xmlns:x=''/>",
        "<x:a/>",
        "<a:b:c xmlns:a='u'/>",
        "<a>&#0;</a>",
        "<a>&#xD800;</a>",
        "<a>&#x110000;</a>",
        "<a>&#65</a>",
        "<a>&unknown;</a>",
        "<a b='<'/>",
        "<a b=\"x\"c=\"y\"/>",
        "<a>\x01</a>",
        "<a>\xED\xA0\x80</a>",
        "<a>\xEF\xBF\xBF</a>",
        "<a>\xC0\xAF</a>",
        "<a><!-- a -- b --></a>",
        "<a><!-- a ---></a>",
        "<a><?xml version='1.0'?></a>",
        "<a><?XmL x?></a>",
        "<a/><b/>",
        "<a/>text",
        "text<a/>",
        "  <a/>  ",
        "<?xml version='1.0' encoding='utf-8'?><a/>",
        "<?xml version='1.0' standalone='yes' encoding='UTF-8'?><a/>",
        "<?xml encoding='UTF-8'?><a/>",
        "<?xml version='1.0'?><?xml version='1.0'?><a/>",
        " <?xml version='1.0'?><a/>",
        "<a><![CDATA[x]]></a>",
        "<![CDATA[x]]><a/>",
        "<a>\r\n\r\r</a>",
        "<t>a\r</t>",
        "<t b='\r\n\t x'>&#13;&#10;</t>",
        "<!DOCTYPE a><a/>",
        "<a",
        "<a>",
        "",
        "\xEF\xBB\xBF",
        "<a xml:lang='en' xmlns:xml='http://www.w3.org/XML/1998/namespace'/>",
        "<a xmlns:xml='http://other.example/'/>",
        "<a xmlns:xmlns='http://other.example/'/>",
    };
    for (const std::string& input : inputs) {
        for (const std::size_t chunk : {std::size_t{1}, std::size_t{3}, input.size() + 1}) {
            expectSameOutcome(input, chunk, "edge case " + input);
            if (HasFatalFailure()) {
                return;
            }
        }
    }
}

TEST(ScannerAgainstExpat, EveryPartOfTheCorpusGivesTheSameEvents) {
    const auto files = corpus::spreadsheetFiles();
    if (files.empty()) {
        GTEST_SKIP() << "the corpus is not beside the project";
    }
    std::size_t parts = 0;
    for (const auto& file : files) {
        auto zip = zip::ZipReader::open(file);
        if (!zip) {
            continue;
        }
        for (std::size_t e = 0; e < zip.value()->entries().size(); ++e) {
            const std::string& name = zip.value()->entries()[e].name;
            if (!name.ends_with(".xml") && !name.ends_with(".rels") && !name.ends_with(".vml")) {
                continue;
            }
            auto bytes = zip.value()->readAll(e);
            if (!bytes || bytes.value().size() > (8U << 20)) {
                continue;
            }
            expectSameOutcome(bytes.value(), 65536, file.string() + ":" + name);
            if (::testing::Test::HasFatalFailure()) {
                return;
            }
            ++parts;
        }
    }
    EXPECT_GT(parts, 1000U);
}

} // namespace
} // namespace engine::xml
