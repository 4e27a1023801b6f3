// The scanner: tag positions across chunk boundaries, and hostile input refused with a clear
// error and bounded memory.
#include "xml/splicer.h"
#include "xml/xml_scanner.h"
#include "xml/xml_text.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace engine::xml {
namespace {

// Records the raw bytes of every tag, taken from the input by the reported spans.
class TagRecorder : public ScanHandler {
public:
    explicit TagRecorder(const std::string& input) : m_input(input) {}
    std::vector<std::string> tags;
    void startElement(const QName&, Attributes, Span tag) override {
        tags.push_back(m_input.substr(tag.begin, tag.size()));
    }
    void endElement(const QName&, Span tag) override {
        tags.push_back(m_input.substr(tag.begin, tag.size()));
    }

private:
    const std::string& m_input;
};

TEST(Scanner, TagSpansHoldTheTagBytesWhateverTheChunks) {
    const std::string input = "\xEF\xBB\xBF<?xml version='1.0'?><a x=\"1\"><b/>te&amp;xt<c:d "
                              "xmlns:c=\"u\" y='2' >z</c:d></a>";
    const std::vector<std::string> expected = {
        "<a x=\"1\">", "<b/>", "", "<c:d xmlns:c=\"u\" y='2' >", "</c:d>", "</a>"};
    for (std::size_t chunk : {1U, 2U, 5U, 1000U}) {
        TagRecorder recorder(input);
        Scanner scanner(recorder);
        for (std::size_t at = 0; at < input.size(); at += chunk) {
            const bool last = at + chunk >= input.size();
            ASSERT_TRUE(scanner.feed(std::string_view(input).substr(at, chunk), last).ok());
        }
        EXPECT_EQ(recorder.tags, expected) << "chunk " << chunk;
    }
}

// Element names and the first attribute value of each start tag.
class NameRecorder : public ScanHandler {
public:
    std::vector<std::string> seen;
    void startElement(const QName& name, Attributes attributes, Span) override {
        seen.emplace_back(name.local);
        if (attributes[0] != nullptr) {
            seen.emplace_back(attributes[1]);
        }
    }
    void endElement(const QName&, Span) override {}
};

// Skips, after the start or end tag of the elements named in `afterStart` or `afterEnd`, up to
// the given marker (plus `extra` bytes, to provoke a mistake); records the events and the
// limits offered.
class Skipper : public ScanHandler {
public:
    explicit Skipper(const std::string& input) : m_input(input), m_scanner(*this) {}
    std::map<std::string, std::string, std::less<>> afterStart, afterEnd;
    std::uint64_t extra = 0;
    std::vector<std::string> events;
    std::vector<std::uint64_t> limits;
    Status scan() { return m_scanner.feed(m_input, true); }
    const Scanner& scanner() const { return m_scanner; }
    void startElement(const QName& name, Attributes, Span tag) override {
        events.push_back("<" + std::string(name.local));
        offered(name.local, afterStart, tag.end);
    }
    void endElement(const QName& name, Span tag) override {
        events.push_back("/" + std::string(name.local));
        offered(name.local, afterEnd, tag.end);
    }

private:
    void offered(std::string_view name, const std::map<std::string, std::string, std::less<>>& at,
                 std::uint64_t from) {
        limits.push_back(m_scanner.skippableUntil());
        if (const auto marker = at.find(name); marker != at.end()) {
            m_scanner.skipContent(m_input.find(marker->second, from) + extra);
        }
    }
    const std::string& m_input;
    Scanner m_scanner;
};

TEST(Scanner, ContentAHandlerReadItselfIsSkipped) {
    // The skipped bytes are not looked at: the broken tag "<x" in them is no error.
    const std::string input = "<r><a>one\n<b/><x two</b>\n</a><s></s>\n<c/>three<t/></r>";
    Skipper skipper(input);
    skipper.afterStart = {{"a", "</a>"}};
    skipper.afterEnd = {{"s", "<t"}};
    EXPECT_TRUE(skipper.scan().ok());
    EXPECT_EQ(skipper.events,
              (std::vector<std::string>{"<r", "<a", "/a", "<s", "/s", "<t", "/t", "/r"}));
    // Offered: the end of the input after a start tag that is not empty and after an end tag
    // inside the root; nothing for an empty element, nor after the root's end tag.
    const std::uint64_t all = input.size();
    EXPECT_EQ(skipper.limits, (std::vector<std::uint64_t>{all, all, all, all, all, 0, 0, 0}));
}

TEST(Scanner, ErrorsAfterSkippedLinesGiveTheirTrueLine) {
    const std::string input = "<r><a>one\n<b/>\n</a><s></s>\n<c/>three<9/></r>";
    Skipper reading(input);
    Skipper skipping(input);
    skipping.afterStart = {{"a", "</a>"}};
    skipping.afterEnd = {{"s", "three"}};
    const auto read = reading.scan();
    const auto skipped = skipping.scan();
    ASSERT_FALSE(read.ok());
    ASSERT_FALSE(skipped.ok());
    EXPECT_EQ(skipped.error().detail, read.error().detail);
    EXPECT_NE(read.error().detail.find("line 4,"), std::string::npos) << read.error().detail;
}

TEST(Scanner, SkippingBeyondTheBytesAtHandFailsThePart) {
    const std::string input = "<r><a>one</a><s/></r>";
    Skipper skipper(input);
    skipper.afterStart = {{"a", "</a>"}};
    skipper.extra = 100;
    const auto status = skipper.scan();
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.error().code, ErrorCode::Corrupt);
}

TEST(Scanner, NothingIsSkippableInAPartReadThroughExpat) {
    const std::string input = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r><a>x</a><s/></r>";
    Skipper skipper(input);
    ASSERT_TRUE(skipper.scan().ok());
    EXPECT_FALSE(skipper.scanner().utf8());
    EXPECT_EQ(skipper.events, (std::vector<std::string>{"<r", "<a", "/a", "<s", "/s", "/r"}));
    EXPECT_EQ(skipper.limits, std::vector<std::uint64_t>(6, 0));
}

TEST(Scanner, PartsNotInUtf8AreReadButMarked) {
    // UTF-16 (little-endian, with its byte order mark) and a declared single-byte encoding.
    std::string utf16 = "\xFF\xFE";
    for (const char c : std::string("<a v=\"\xE9\"><b/></a>")) {
        utf16 += c;
        utf16 += '\0';
    }
    const std::string latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a v=\"\xE9\"/>";
    for (const std::string& input : {utf16, latin1}) {
        NameRecorder recorder;
        Scanner scanner(recorder);
        for (std::size_t at = 0; at < input.size(); at += 3) {
            ASSERT_TRUE(
                scanner.feed(std::string_view(input).substr(at, 3), at + 3 >= input.size()).ok());
        }
        EXPECT_FALSE(scanner.utf8());
        ASSERT_GE(recorder.seen.size(), 2U);
        EXPECT_EQ(recorder.seen[0], "a");
        EXPECT_EQ(recorder.seen[1], "\xC3\xA9"); // é, converted to UTF-8
    }
}

TEST(Scanner, ATagLongerThanAChunkIsReadWhole) {
    const std::string value(1U << 20, 'x');
    const std::string input = "<a><b v=\"" + value + "\"/></a>";
    NameRecorder recorder;
    Scanner scanner(recorder);
    for (std::size_t at = 0; at < input.size(); at += 100) {
        ASSERT_TRUE(
            scanner.feed(std::string_view(input).substr(at, 100), at + 100 >= input.size()).ok());
    }
    EXPECT_TRUE(scanner.utf8());
    ASSERT_EQ(recorder.seen.size(), 3U);
    EXPECT_EQ(recorder.seen[2], value);
}

struct Hostile {
    const char* name;
    std::string input;
    ErrorCode code;
};

class HostileXml : public ::testing::TestWithParam<Hostile> {};

TEST_P(HostileXml, FailsClearly) {
    const auto& c = GetParam();
    TagRecorder recorder(c.input);
    Scanner scanner(recorder);
    const auto status = scanner.scanAll(c.input);
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.error().code, c.code) << status.error().detail;
    EXPECT_FALSE(status.error().detail.empty());
}

std::string billionLaughs() {
    std::string s = "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\">";
    for (int i = 1; i < 10; ++i) {
        s += "<!ENTITY lol" + std::to_string(i) + " \"";
        for (int j = 0; j < 10; ++j) {
            s += "&lol" + (i == 1 ? std::string() : std::to_string(i - 1)) + ";";
        }
        s += "\">";
    }
    return s + "]><lolz>&lol9;</lolz>";
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, HostileXml,
    ::testing::Values(Hostile{"BillionLaughs", billionLaughs(), ErrorCode::ResourceLimit},
                      Hostile{"ExternalEntity",
                              "<!DOCTYPE a [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><a>&x;</a>",
                              ErrorCode::ResourceLimit},
                      Hostile{"ExternalDtd",
                              "<!DOCTYPE a SYSTEM \"http://example.invalid/a.dtd\"><a/>",
                              ErrorCode::ResourceLimit},
                      Hostile{"UndefinedEntity", "<a>&nope;</a>", ErrorCode::Corrupt},
                      Hostile{"Truncated", "<a><b>text", ErrorCode::Corrupt},
                      Hostile{"Mismatched", "<a></b>", ErrorCode::Corrupt},
                      Hostile{"NotXml", std::string("PK\x03\x04\x00\x01", 6), ErrorCode::Corrupt},
                      Hostile{"Empty", "", ErrorCode::Corrupt},
                      Hostile{"DeepNesting", std::string(100000, '<') + "", ErrorCode::Corrupt},
                      Hostile{"TooDeep",
                              [] {
                                  std::string s;
                                  for (int i = 0; i < 5000; ++i) {
                                      s += "<a>";
                                  }
                                  return s;
                              }(),
                              ErrorCode::ResourceLimit}),
    [](const ::testing::TestParamInfo<Hostile>& p) { return std::string(p.param.name); });

TEST(Splicer, CopiesEveryByteOutsideTheSplices) {
    const std::string input = "0123456789abcdef";
    for (auto mode : {Splicer::Mode::Emit, Splicer::Mode::Deferred}) {
        Splicer splicer(mode);
        std::string out;
        splicer.append(input.substr(0, 6));
        splicer.replace({2, 4}, "XY!");
        splicer.release(5);
        splicer.append(input.substr(6));
        splicer.replace({8, 8}, "+");
        splicer.release(12);
        splicer.finish();
        EXPECT_EQ(splicer.output(), "01XY!4567+89abcdef");
    }
}

TEST(Splicer, DeferredWithoutSpliceWritesNothing) {
    Splicer splicer(Splicer::Mode::Deferred);
    splicer.append("abc");
    splicer.release(3);
    splicer.finish();
    EXPECT_FALSE(splicer.changed());
    EXPECT_TRUE(splicer.output().empty());
}

TEST(XmlText, RawAttributesAreFoundByQualifiedName) {
    const std::string tag = "<x:c r=\"A1\"  t='s' xml:space=\"preserve\"/>";
    const auto t = findRawAttribute(tag, "t");
    ASSERT_TRUE(t.has_value());
    EXPECT_EQ(tag.substr(t->begin, t->end - t->begin), "  t='s'");
    EXPECT_EQ(tag.substr(t->valueBegin, t->valueEnd - t->valueBegin), "s");
    EXPECT_FALSE(findRawAttribute(tag, "space").has_value());
    EXPECT_TRUE(findRawAttribute(tag, "xml:space").has_value());
    EXPECT_EQ(rawElementName(tag), "x:c");
    EXPECT_EQ(tag.substr(0, attributeInsertPoint(tag)),
              "<x:c r=\"A1\"  t='s' xml:space=\"preserve\"");
}

TEST(XmlText, EmptyTagHasNoNameAndNoAttributes) {
    // Guards against reading before the start of a tag that was never found (fuzzing found
    // it with a string table whose root was in another namespace).
    EXPECT_EQ(rawElementName(""), "");
    EXPECT_FALSE(findRawAttribute("", "count").has_value());
    EXPECT_EQ(attributeInsertPoint(""), 0U);
}

TEST(XmlText, EscapesRoundTripThroughTheParser) {
    const std::string text = "a<b>&\"c\"\td\ne";
    std::string element = "<a v=\"";
    appendEscapedAttribute(element, text);
    element += "\">";
    appendEscapedText(element, text);
    element += "</a>";

    struct Reader : ScanHandler {
        std::string attribute, content;
        void startElement(const QName&, Attributes a, Span) override {
            attribute = findAttribute(a, "v");
        }
        void endElement(const QName&, Span) override {}
        void characters(std::string_view s) override { content += s; }
    } reader;
    Scanner scanner(reader);
    scanner.wantCharacters(true);
    ASSERT_TRUE(scanner.scanAll(element).ok());
    EXPECT_EQ(reader.attribute, text);
    EXPECT_EQ(reader.content, text);
}

} // namespace
} // namespace engine::xml
