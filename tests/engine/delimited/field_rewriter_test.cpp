// Tests of the field reader and rewriter: quoting, line ends and changed fields, fed in chunks
// of every size so that no field, quote pair or CRLF split between chunks reads differently.
#include "delimited/field_rewriter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace engine::delimited {
namespace {

class Recorder : public CellListener {
public:
    std::vector<std::string> cells;
    void cell(const CellChange& c) override {
        cells.push_back(c.cell + "=" + c.before + ">" + c.after);
    }
};

struct Outcome {
    std::string output;
    ReplaceCounts counts;
    std::vector<std::string> cells;
    Status status = Unit{};
    bool stopped = false;
    std::uint64_t stopOffset = 0;
    FieldPosition stopPosition;
};

Outcome runIn(std::string_view input, std::size_t chunk, FieldRewriter::Options options) {
    Recorder recorder;
    options.listener = &recorder;
    FieldRewriter rewriter(options);
    Outcome run;
    for (std::size_t at = 0;; at += chunk) {
        const bool last = at + chunk >= input.size();
        run.status = rewriter.feed(input.substr(std::min(at, input.size()), chunk), last);
        run.output += rewriter.output();
        rewriter.output().clear();
        if (!run.status || last) {
            break;
        }
    }
    run.counts = rewriter.counts();
    run.cells = recorder.cells;
    run.stopped = rewriter.stopped();
    run.stopOffset = rewriter.stopOffset();
    run.stopPosition = rewriter.stopPosition();
    return run;
}

struct Case {
    const char* name;
    std::string input;
    char delimiter;
    std::string find, replacement;
    std::string expected;
    std::vector<std::string> cells; // changed cells as "B1=before>after"
    bool wholeCell = false;
};

class Rewrite : public ::testing::TestWithParam<Case> {};

TEST_P(Rewrite, ChangesOnlyMatchedFieldsWhateverTheChunks) {
    const Case& c = GetParam();
    text::ReplaceQueue queue;
    queue.add(c.find, c.replacement, true, c.wholeCell);
    FieldRewriter::Options options;
    options.delimiter = c.delimiter;
    options.queue = &queue;
    for (std::size_t chunk : {1U, 2U, 3U, 4U, 7U, 64U, 100000U}) {
        options.mode = FieldRewriter::Mode::Emit;
        options.startOffset = 0;
        options.startPosition = {};
        const Outcome emitted = runIn(c.input, chunk, options);
        ASSERT_TRUE(emitted.status.ok()) << emitted.status.error().message();
        EXPECT_EQ(emitted.output, c.expected) << c.name << " in chunks of " << chunk;
        EXPECT_EQ(emitted.cells, c.cells) << c.name << " in chunks of " << chunk;
        EXPECT_EQ(emitted.counts.cellsChanged, c.cells.size());

        // A save: find the first change, then write from there on.
        options.mode = FieldRewriter::Mode::Find;
        const Outcome found = runIn(c.input, chunk, options);
        EXPECT_EQ(found.stopped, !c.cells.empty()) << c.name;
        EXPECT_TRUE(found.cells.empty());
        if (found.stopped) {
            options.mode = FieldRewriter::Mode::Emit;
            options.startOffset = found.stopOffset;
            options.startPosition = found.stopPosition;
            const Outcome resumed = runIn(c.input, chunk, options);
            EXPECT_EQ(resumed.output, c.expected) << c.name << " resumed, chunks of " << chunk;
            EXPECT_EQ(resumed.cells, c.cells) << c.name << " resumed, chunks of " << chunk;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fields, Rewrite,
    ::testing::Values(
        Case{"NothingMatched", "a,b\r\nc,d\r\n", ',', "x", "y", "a,b\r\nc,d\r\n", {}},
        Case{"UnquotedStaysUnquoted",
             "ab,cb\nb",
             ',',
             "b",
             "B",
             "aB,cB\nB",
             {"A1=ab>aB", "B1=cb>cB", "A2=b>B"}},
        Case{"QuotedKeepsQuotes", "\"ab\",x\r\n", ',', "b", "c", "\"ac\",x\r\n", {"A1=ab>ac"}},
        Case{"DoubledQuotesRead",
             "\"say \"\"hi\"\"\",x",
             ',',
             "hi",
             "yo",
             "\"say \"\"yo\"\"\",x",
             {"A1=say \"hi\">say \"yo\""}},
        Case{"UnquotedQuotedWhenNeeded",
             "a;b\n",
             ';',
             "a",
             "x;\"y\"",
             "\"x;\"\"y\"\"\";b\n",
             {"A1=a>x;\"y\""}},
        Case{"CommaNeedsNoQuotesUnderSemicolons", "a;b", ';', "a", "1,5", "1,5;b", {"A1=a>1,5"}},
        Case{"LineBreakInQuotedField",
             "\"a\r\nb\",c\r\nd",
             ',',
             "d",
             "e",
             "\"a\r\nb\",c\r\ne",
             {"A2=d>e"}},
        Case{"NewLineInResultQuoted", "a\tb", '\t', "b", "1\n2", "a\t\"1\n2\"", {"B1=b>1\n2"}},
        Case{"LoneCarriageReturnsEndRecords", "a\rb\rc", ',', "c", "z", "a\rb\rz", {"A3=c>z"}},
        Case{"EmptyLinesAreRecords", "\n\nx\n", ',', "x", "y", "\n\ny\n", {"A3=x>y"}},
        Case{"LeadingZerosAndDatesStayText",
             "007,1-2,12345678901234567890",
             ',',
             "0",
             "0",
             "007,1-2,12345678901234567890",
             {}},
        Case{"DigitsReplacedAsText", "007,1-2", ',', "-", "/", "007,1/2", {"B1=1-2>1/2"}},
        // Its quote is text, but a changed field with a quote is quoted.
        Case{
            "QuoteInsideUnquotedIsText", "a\"b,c", ',', "b", "x", "\"a\"\"x\",c", {"A1=a\"b>a\"x"}},
        Case{"TextAfterClosingQuoteBelongsToField",
             "\"ab\"cd,e",
             ',',
             "c",
             "C",
             "\"abCd\",e",
             {"A1=abcd>abCd"}},
        Case{
            "UnclosedQuoteRunsToTheEnd", "x,\"ab,c", ',', "b", "B", "x,\"aB,c\"", {"B1=ab,c>aB,c"}},
        Case{"EmptyResultKeepsQuotes", "\"ab\",ab", ',', "ab", "", "\"\",", {"A1=ab>", "B1=ab>"}},
        Case{"ColumnsPastZ",
             ",,,,,,,,,,,,,,,,,,,,,,,,,,x",
             ',',
             "x",
             "y",
             ",,,,,,,,,,,,,,,,,,,,,,,,,,y",
             {"AA1=x>y"}},
        Case{"WholeCellOnlyWholeFields", "ab,ab c", ',', "ab", "X", "X,ab c", {"A1=ab>X"}, true}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(FieldRewriter, CountsAndSearchesWithoutOutput) {
    text::ReplaceQueue queue;
    queue.add("A", "a", false, false);
    queue.add("z", "Z", true, false);
    FieldRewriter::Options options;
    options.queue = &queue;
    options.mode = FieldRewriter::Mode::Count;
    const Outcome counted = runIn("aa,b,za\nAz", 3, options);
    EXPECT_EQ(counted.output, "");
    EXPECT_EQ(counted.counts.cellsChanged, 2U); // "aa" stays "aa"
    EXPECT_EQ(counted.counts.replacements, 4U); // a cell left as it was counts none
    EXPECT_EQ(counted.cells, (std::vector<std::string>{"C1=za>Za", "A2=Az>aZ"}));

    options.mode = FieldRewriter::Mode::Search;
    const Outcome searched = runIn("aa,b,za\nAz", 3, options);
    EXPECT_EQ(searched.cells, (std::vector<std::string>{"A1=aa>aa", "C1=za>za", "A2=Az>Az"}));
}

TEST(FieldRewriter, RefusesResultsTooLongOrNotWritable) {
    text::ReplaceQueue queue;
    queue.add("x", std::string(40000, 'y'), true, false);
    FieldRewriter::Options options;
    options.queue = &queue;
    options.mode = FieldRewriter::Mode::Count;
    Outcome run = runIn("a,x", 2, options);
    ASSERT_FALSE(run.status.ok());
    EXPECT_EQ(run.status.error().code, ErrorCode::ResultTooLong);
    EXPECT_NE(run.status.error().detail.find("B1"), std::string::npos);

    text::ReplaceQueue chinese;
    chinese.add("a", "\xE4\xB8\xAD", true, false);
    options.queue = &chinese;
    options.encoding = Encoding::Windows1252;
    run = runIn("b\na", 2, options);
    ASSERT_FALSE(run.status.ok());
    EXPECT_EQ(run.status.error().code, ErrorCode::Unencodable);
    EXPECT_NE(run.status.error().detail.find("A2"), std::string::npos);
}

TEST(FieldRewriter, FieldTextAndNames) {
    EXPECT_EQ(fieldText("\"a\"\"b\"c"), "a\"bc");
    EXPECT_EQ(fieldText("plain\"x"), "plain\"x");
    EXPECT_EQ(fieldText("\"open"), "open");
    EXPECT_EQ(fieldName({0, 0}), "A1");
    EXPECT_EQ(fieldName({9, 25}), "Z10");
    EXPECT_EQ(fieldName({0, 701}), "ZZ1");
    EXPECT_EQ(fieldName({0, 702}), "AAA1");
}

} // namespace
} // namespace engine::delimited
