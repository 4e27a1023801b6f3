// The cells of an OpenDocument spreadsheet's content.xml (ODF 1.3 Part 3, 9.1): reading each
// cell's text as a spreadsheet shows it, applying a sheet's queue, and splicing the changed
// cells back while every other byte of the part is copied as it was.
#pragma once

#include "engine/workbook.h"
#include "text/replace_queue.h"
#include "xml/splicer.h"
#include "xml/xml_scanner.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace engine::ods {

inline constexpr std::string_view kOfficeNs = "urn:oasis:names:tc:opendocument:xmlns:office:1.0";
inline constexpr std::string_view kTableNs = "urn:oasis:names:tc:opendocument:xmlns:table:1.0";
inline constexpr std::string_view kTextNs = "urn:oasis:names:tc:opendocument:xmlns:text:1.0";
inline constexpr std::string_view kStyleNs = "urn:oasis:names:tc:opendocument:xmlns:style:1.0";
inline constexpr std::string_view kCalcExtNs =
    "urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0";

/// The names of the sheets (table:table elements of office:spreadsheet) of a content.xml, in
/// order. Errors: Corrupt, ResourceLimit.
class SheetLister : public xml::ScanHandler {
public:
    std::vector<std::string> names;
    void startElement(const xml::QName& name, xml::Attributes attributes, xml::Span tag) override;
    void endElement(const xml::QName& name, xml::Span tag) override;

private:
    int m_depth = 0;
    int m_spreadsheetDepth = -1;
};

/// Stored formula text ("of:=SUM([.A1];2)") to what is matched: the formula without its
/// namespace prefix ("=SUM([.A1];2)"); prefix receives "of:" (empty when there is none).
std::string shownFormula(std::string_view stored, std::string& prefix);

/// Nothing when a changed OpenFormula text (with its "=") is well formed by the same check as
/// workbook formulas, its references in brackets and its ";" separators taken as such;
/// otherwise the reason.
std::optional<std::string> openFormulaProblem(std::string_view shown);

class ContentRewriter : private xml::ScanHandler {
public:
    enum class Mode { Count, Write, Search };
    /// queues: one per sheet (empty: the sheet is left alone). sheetNames for messages and the
    /// listener, which gets each changed (or, in Search mode, matching) cell.
    ContentRewriter(const std::vector<text::ReplaceQueue>& queues,
                    const std::vector<std::string>& sheetNames, Mode mode,
                    xml::Splicer::Mode splicerMode, CellListener* listener);
    ~ContentRewriter() override;

    /// The next chunk of content.xml. Errors: those of the scanner, ProtectedSheet,
    /// ResultTooLong, InvalidFormula (naming the cell).
    Status feed(std::string_view chunk);
    Status finish();
    std::string& output() { return m_splicer.output(); }
    bool changed() const { return m_splicer.changed() || m_outputLost; }
    /// Deferred output was given up and a change came: run again in Emit mode.
    bool outputLost() const { return m_outputLost; }
    const ReplaceCounts& counts() const { return m_counts; }

    static constexpr std::size_t kDeferredLimit = 2U << 20;

private:
    // One piece of a cell's text: character data between two tags, a whitespace element
    // (text:s, text:tab, text:line-break), or the line break between two paragraphs.
    struct Piece {
        enum class Kind { Text, Element, ParagraphBreak } kind = Kind::Text;
        std::string text;
        xml::Span span;
    };
    struct CellChangeNote {
        std::uint64_t column, repeat;
        std::string before, after;
    };
    void startElement(const xml::QName& name, xml::Attributes attributes, xml::Span tag) override;
    void endElement(const xml::QName& name, xml::Span tag) override;
    void characters(std::string_view text) override;
    void closeText(std::uint64_t at);
    void endCell(xml::Span endTag);
    void endRow();
    void stringCell(xml::Span element);
    void rebuildAsConstant(xml::Span element, std::size_t replacements, const std::string& before,
                           const std::string& after, bool dropFormula);
    bool cellChanges(std::size_t replacements, const std::string& before, const std::string& after);
    // The start tag of the cell without its value attributes, open (">"), for a new content.
    std::string strippedStartTag(bool dropFormula) const;
    std::string paragraphs(std::string_view text) const;
    void encodeText(std::string_view text, std::string& out) const;
    std::string prefixOf(std::string_view uri) const;
    std::string cellName() const;
    void fail(ErrorCode code, std::string detail);

    const std::vector<text::ReplaceQueue>& m_queues;
    const std::vector<std::string>& m_sheetNames;
    Mode m_mode;
    CellListener* m_listener;
    xml::Splicer m_splicer;
    xml::Scanner m_scanner;
    ReplaceCounts m_counts;
    std::map<std::string, std::string, std::less<>> m_prefixes; // namespace URI -> prefix
    std::set<std::string, std::less<>> m_unprotectedStyles;
    std::string m_styleName; // the automatic cell style being read
    int m_depth = 0;
    int m_spreadsheetDepth = -1, m_tableDepth = -1, m_rowDepth = -1, m_cellDepth = -1;
    int m_skipDepth = -1; // inside an element whose text is not the cell's (annotation, note)
    int m_paragraphDepth = -1;
    std::size_t m_sheet = 0;
    bool m_sheetStarted = false;
    bool m_protected = false;
    std::uint64_t m_row = 0, m_column = 0, m_rowRepeat = 1;
    std::vector<CellChangeNote> m_rowChanges;
    std::uint64_t m_safe = 0;
    bool m_outputLost = false, m_gaveUpOutput = false;

    // The open cell.
    bool m_inCell = false;
    xml::Span m_cellTag;
    std::string m_cellQName;
    std::uint64_t m_columnRepeat = 1;
    std::string m_valueType, m_value, m_booleanValue, m_formula, m_styleOfCell;
    std::optional<std::string> m_stringValue;
    std::vector<Piece> m_pieces;
    std::vector<xml::Span> m_keptElements; // annotations, kept as they are when a cell is rebuilt
    bool m_inText = false;
    std::uint64_t m_textBegin = 0;
    std::string m_text;
    bool m_pendingSpace = false;    // collapsed white space not yet known to be kept
    std::size_t m_pendingPiece = 0; // the piece it belongs to
    bool m_lastWasSpace = true;     // at the start of a paragraph, or after a space
    std::string m_textPrefix = "text";
    bool m_sawParagraph = false;
    std::uint64_t m_firstParagraph = 0, m_lastParagraphEnd = 0;
    bool m_elementPiece = false; // the element being skipped is a whitespace piece
    bool m_skippedCell = false;  // the element being skipped is a cell left alone
    bool m_keptOpen = false;     // the element being skipped is an annotation kept whole
};

} // namespace engine::ods
