// The text of one <si> or <is> (ECMA-376 Part 1, 18.4.7 CT_Rst: a plain <t>, or rich runs
// <r> with <t>, and phonetic runs <rPh>): collecting it from scanner events, applying a queue
// of replacements to it, and the splices that write the result back. Shared by the shared
// string table and the inline strings of worksheets.
#pragma once

#include "engine/replace_request.h"
#include "text/text_replace.h"
#include "xml/splicer.h"
#include "xml/xml_scanner.h"

#include <string>
#include <vector>

namespace engine::ooxml {

/// One request with its matcher built once for every cell.
struct PreparedRequest {
    text::Matcher matcher;
    std::string replacement;
    /// Whether the replacement can make a call of a function that the file stores with a
    /// prefix (see formula::mayFormFutureFunction).
    bool mayFormFutureFunction = false;
};
using PreparedQueue = std::vector<PreparedRequest>;
PreparedQueue prepareQueue(const std::vector<ReplaceRequest>& requests);
/// True when some request of queue, on its own, finds a match in text (a search, where each
/// request is looked for in the text as it is, not after the ones before it).
bool anyRequestMatches(const PreparedQueue& queue, std::string_view text);

/// A replacement of input bytes by new bytes (an insertion when the span is empty).
struct Edit {
    xml::Span span;
    std::string text;
};

/// What a queue did to one string.
struct TextOutcome {
    std::size_t replacements = 0; ///< occurrences replaced, over the whole queue
    bool changed = false;         ///< the text or its runs differ from before
    std::string text;             ///< the new cell text (runs joined), when changed
    bool tooLong() const { return text::utf16Length(text) > text::kMaxCellTextLength; }
};

class RichText {
public:
    /// Starts a string at its <si> or <is> start tag.
    void begin(xml::Span elementTag);
    /// Events between the start and end tags of that element; the scanner's character events
    /// are switched on while a <t> of the string is open.
    void startElement(const xml::QName& name, xml::Attributes attributes, xml::Span tag,
                      xml::Scanner& scanner);
    void endElement(const xml::QName& name, xml::Span tag, xml::Scanner& scanner);
    void characters(std::string_view text);
    /// Ends the string at the element's end tag.
    void end(xml::Span elementEndTag);

    /// The string's text as it is (runs joined, escapes decoded).
    std::string joined() const;
    /// Applies queue to the string as it is (it is not modified). When outcome.changed, the
    /// splices that write the result are appended to edits in input order: changed <t>
    /// contents (with xml:space="preserve" added where the new text needs it), runs left
    /// empty removed, phonetic runs removed.
    void apply(const PreparedQueue& queue, TextOutcome& outcome, std::vector<Edit>& edits,
               const xml::RawView& raw);

    xml::Span element() const { return {m_elementBegin, m_elementEnd}; }
    /// True when the string holds no character.
    bool empty() const;

private:
    struct Piece {
        std::string text;   // decoded
        xml::Span startTag; // of its <t>
        xml::Span endTag;   // of its <t>; empty for <t/>
        xml::Span run;      // the enclosing <r>, or empty for a plain <t>
        bool inRun = false;
        bool preserve = false;
    };
    std::vector<Piece> m_pieces;
    std::size_t m_count = 0;
    std::vector<xml::Span> m_phonetic;
    std::uint64_t m_elementBegin = 0, m_elementEnd = 0;
    int m_depth = 0;       // below the <si>/<is> element
    bool m_inText = false; // inside a <t> that belongs to the string
    bool m_inRun = false;
    bool m_inPhonetic = false;
    xml::Span m_runStart;
    // Working storage reused from string to string.
    std::vector<std::string> m_work;
    std::vector<char> m_alive;
    std::vector<std::string_view> m_views;
    std::string m_scratch, m_encoded;
};

} // namespace engine::ooxml
