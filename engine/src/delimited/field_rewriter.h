// Reading delimited text as records of fields (RFC 4180 quoting) from a stream of UTF-8, and
// writing it back with only the fields a queue changes rewritten: every other byte, quotes
// and line ends included, is copied as it was.
#pragma once

#include "delimited/text_encoding.h"
#include "engine/replace_request.h"
#include "engine/result.h"
#include "text/replace_queue.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace engine::delimited {

/// Where a field stands: 0-based record and field numbers.
struct FieldPosition {
    std::uint64_t row = 0;
    std::uint64_t column = 0;
};

/// The A1 name of a field ("B3"); a column beyond the last one a sheet has still gets letters.
std::string fieldName(FieldPosition position);

/// The text of a field as written: quotes removed, doubled quotes undoubled, and for a quoted
/// field anything between its closing quote and the next delimiter appended, as spreadsheet
/// programs read it.
std::string fieldText(std::string_view raw);

/// A field's new form: a quoted field stays quoted; an unquoted one is quoted only when text
/// holds the delimiter, a quote, CR or LF. Quotes inside are doubled.
void appendField(std::string& out, std::string_view text, bool wasQuoted, char delimiter);

class FieldRewriter {
public:
    enum class Mode {
        Count,  ///< count and report changes; no output
        Find,   ///< stop before the first field that changes (see stopped())
        Emit,   ///< write the output
        Search, ///< report every field a request matches, as it is
    };
    struct Options {
        char delimiter = ',';
        const text::ReplaceQueue* queue = nullptr;
        Mode mode = Mode::Count;
        Encoding encoding = Encoding::Utf8; ///< a changed field must be writable in it
        CellListener* listener = nullptr;
        std::string sheetName;
        /// Emit: the decoded stream before this offset is copied without being read as
        /// fields; parsing starts there at `startPosition` (the place Find stopped at).
        std::uint64_t startOffset = 0;
        FieldPosition startPosition;
    };
    explicit FieldRewriter(Options options);

    /// Takes the next decoded bytes; last marks the end of the text. Errors: ResultTooLong,
    /// Unencodable (naming the cell); after an error or once stopped, later calls do nothing.
    Status feed(std::string_view chunk, bool last);
    /// Emit: the output so far; the caller drains it.
    std::string& output() { return m_out; }
    /// Find: true once a changed field was reached; its offset and position are below.
    bool stopped() const { return m_stopped; }
    std::uint64_t stopOffset() const { return m_stopOffset; }
    FieldPosition stopPosition() const { return m_stopPosition; }
    const ReplaceCounts& counts() const { return m_counts; }

private:
    // Reads fields from data (which starts at stream offset m_base) from m_pos on; returns
    // false when an error or a stop ended the reading.
    bool parse(std::string_view data, bool last);
    bool field(std::string_view data, std::size_t begin, std::size_t end, bool quoted);

    Options m_options;
    std::string m_buffer;     // the decoded bytes of an unfinished field
    std::uint64_t m_base = 0; // stream offset of the data being parsed
    std::size_t m_pos = 0;    // the start of the next field in that data
    std::size_t m_copied = 0; // output holds the data before this
    std::size_t m_resume = 0; // where the search for a quoted field's end goes on
    FieldPosition m_at;
    std::string m_out, m_text, m_new;
    ReplaceCounts m_counts;
    Error m_error{ErrorCode::Corrupt, {}};
    bool m_failed = false;
    bool m_stopped = false;
    std::uint64_t m_stopOffset = 0;
    FieldPosition m_stopPosition;
};

} // namespace engine::delimited
