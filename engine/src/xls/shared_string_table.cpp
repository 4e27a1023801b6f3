// Reading and writing the shared string table across its CONTINUE records.
#include "shared_string_table.h"

#include "bytes.h"

#include <algorithm>

namespace engine::xls {
namespace {

// The data of an SST and its CONTINUE records read as one sequence. Fixed fields, runs and
// phonetic bytes continue across a record end as they are; characters continue after a
// flag byte that gives the width of the rest.
class ContinuedReader {
public:
    explicit ContinuedReader(std::vector<std::string_view> segments)
        : m_segments(std::move(segments)) {}

    bool bytes(std::size_t n, std::string* out) {
        while (n > 0) {
            if (!skipEmpty()) {
                return false;
            }
            const std::string_view seg = m_segments[m_segment];
            const std::size_t take = std::min(n, seg.size() - m_offset);
            if (out != nullptr) {
                out->append(seg.substr(m_offset, take));
            }
            m_offset += take;
            n -= take;
        }
        return true;
    }
    bool u8(std::uint8_t& v) {
        std::string b;
        if (!bytes(1, &b)) {
            return false;
        }
        v = static_cast<std::uint8_t>(b[0]);
        return true;
    }
    bool u16(std::uint16_t& v) {
        std::string b;
        if (!bytes(2, &b)) {
            return false;
        }
        v = load16(b.data());
        return true;
    }
    bool u32(std::uint32_t& v) {
        std::string b;
        if (!bytes(4, &b)) {
            return false;
        }
        v = load32(b.data());
        return true;
    }
    bool atEnd() { return !skipEmpty(); }
    bool characters(std::size_t cch, bool high, std::u16string& out) {
        out.clear();
        out.reserve(cch);
        while (out.size() < cch) {
            if (m_segment >= m_segments.size()) {
                return false;
            }
            if (m_offset == m_segments[m_segment].size()) {
                if (++m_segment >= m_segments.size() || m_segments[m_segment].empty()) {
                    return false;
                }
                high = (static_cast<unsigned char>(m_segments[m_segment][0]) & 0x01) != 0;
                m_offset = 1;
                continue;
            }
            const std::string_view seg = m_segments[m_segment];
            const std::size_t width = high ? 2 : 1;
            const std::size_t n = std::min(cch - out.size(), (seg.size() - m_offset) / width);
            if (n == 0) {
                return false; // half a UTF-16 unit before a record end
            }
            for (std::size_t i = 0; i < n; ++i) {
                out.push_back(
                    high ? static_cast<char16_t>(load16(seg.data() + m_offset + 2 * i))
                         : static_cast<char16_t>(static_cast<unsigned char>(seg[m_offset + i])));
            }
            m_offset += n * width;
        }
        return true;
    }

private:
    bool skipEmpty() {
        while (m_segment < m_segments.size() && m_offset == m_segments[m_segment].size()) {
            ++m_segment;
            m_offset = 0;
        }
        return m_segment < m_segments.size();
    }
    std::vector<std::string_view> m_segments;
    std::size_t m_segment = 0;
    std::size_t m_offset = 0;
};

class TableWriter {
public:
    TableWriter() { start(rt::kSst); }
    std::size_t room() const { return kMaxRecordData - (m_out.size() - m_record - 4); }
    void next() {
        finish();
        start(rt::kContinue);
    }
    std::string& out() { return m_out; }
    std::size_t recordStart() const { return m_record; }
    std::string done() {
        finish();
        return std::move(m_out);
    }

private:
    void start(std::uint16_t type) {
        m_record = m_out.size();
        append16(m_out, type);
        append16(m_out, 0);
    }
    void finish() {
        store16(m_out.data() + m_record + 2,
                static_cast<std::uint16_t>(m_out.size() - m_record - 4));
    }
    std::string m_out;
    std::size_t m_record = 0;
};

bool isHighSurrogate(char16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}

} // namespace

Result<SharedStrings> readSharedStrings(std::string_view stream, const std::vector<Record>& records,
                                        std::size_t index) {
    std::vector<std::string_view> segments;
    segments.push_back(stream.substr(records[index].dataOffset(), records[index].size));
    for (std::size_t i = index + 1; i < records.size() && records[i].type == rt::kContinue; ++i) {
        segments.push_back(stream.substr(records[i].dataOffset(), records[i].size));
    }
    ContinuedReader in(std::move(segments));
    SharedStrings table;
    std::uint32_t unique = 0;
    if (!in.u32(table.total) || !in.u32(unique)) {
        return Error{ErrorCode::Corrupt, "the shared string table is cut short"};
    }
    // Every string takes 3 bytes at least: a count beyond that is not believed.
    table.entries.reserve(std::min<std::size_t>(unique, stream.size() / 3));
    for (std::uint32_t k = 0; k < unique; ++k) {
        if (in.atEnd()) {
            break; // fewer strings than the count says, which readers accept; cells are checked
        }
        SstEntry e;
        std::uint16_t cch = 0;
        std::uint8_t flags = 0;
        std::uint16_t runs = 0;
        std::uint32_t ext = 0;
        bool ok = in.u16(cch) && in.u8(flags);
        if (ok && (flags & 0x08) != 0) {
            ok = in.u16(runs);
        }
        if (ok && (flags & 0x04) != 0) {
            ok = in.u32(ext);
            e.hasPhonetic = true;
        }
        ok = ok && in.characters(cch, (flags & 0x01) != 0, e.text);
        for (std::uint16_t r = 0; ok && r < runs; ++r) {
            FormatRun run;
            ok = in.u16(run.ich) && in.u16(run.ifnt);
            e.runs.push_back(run);
        }
        ok = ok && ext <= stream.size() && in.bytes(ext, &e.phonetic);
        if (!ok) {
            return Error{ErrorCode::Corrupt,
                         "shared string " + std::to_string(k) + " runs past the end of the table"};
        }
        table.entries.push_back(std::move(e));
    }
    return table;
}

WrittenTable writeSharedStrings(const SharedStrings& table) {
    WrittenTable written;
    const std::size_t unique = table.entries.size();
    written.stringsPerBucket =
        static_cast<std::uint16_t>(std::max<std::size_t>(unique / 128 + 1, 8));
    TableWriter w;
    append32(w.out(), table.total);
    append32(w.out(), static_cast<std::uint32_t>(unique));
    for (std::size_t k = 0; k < unique; ++k) {
        const SstEntry& e = table.entries[k];
        const bool compressed = fitsCompressed(e.text);
        const std::size_t width = compressed ? 1 : 2;
        const std::size_t header =
            3 + (e.runs.empty() ? 0 : 2) + (e.hasPhonetic ? 4 : 0) + (e.text.empty() ? 0 : width);
        if (w.room() < header) {
            w.next();
        }
        if (k % written.stringsPerBucket == 0) {
            written.buckets.emplace_back(
                static_cast<std::uint32_t>(w.out().size()),
                static_cast<std::uint16_t>(w.out().size() - w.recordStart()));
        }
        std::string& out = w.out();
        append16(out, static_cast<std::uint16_t>(e.text.size()));
        out.push_back(static_cast<char>((compressed ? 0 : 1) | (e.hasPhonetic ? 0x04 : 0) |
                                        (e.runs.empty() ? 0 : 0x08)));
        if (!e.runs.empty()) {
            append16(out, static_cast<std::uint16_t>(e.runs.size()));
        }
        if (e.hasPhonetic) {
            append32(out, static_cast<std::uint32_t>(e.phonetic.size()));
        }
        for (std::size_t i = 0; i < e.text.size();) {
            std::size_t n = std::min(e.text.size() - i, w.room() / width);
            if (!compressed && n > 0 && i + n < e.text.size() &&
                isHighSurrogate(e.text[i + n - 1])) {
                --n; // a surrogate pair stays in one record
            }
            if (n == 0) {
                w.next();
                w.out().push_back(compressed ? '\0' : '\1');
                continue;
            }
            for (std::size_t j = i; j < i + n; ++j) {
                if (compressed) {
                    w.out().push_back(static_cast<char>(e.text[j]));
                } else {
                    append16(w.out(), e.text[j]);
                }
            }
            i += n;
        }
        for (const FormatRun& run : e.runs) {
            if (w.room() < 4) {
                w.next();
            }
            append16(w.out(), run.ich);
            append16(w.out(), run.ifnt);
        }
        for (std::size_t i = 0; i < e.phonetic.size();) {
            // Whole 16-bit fields: some readers cannot read one split across records.
            std::size_t n = std::min(e.phonetic.size() - i, w.room() & ~std::size_t{1});
            if (n == 0) {
                w.next();
                continue;
            }
            w.out().append(e.phonetic, i, n);
            i += n;
        }
    }
    written.records = w.done();
    return written;
}

std::string makeExtSst(const WrittenTable& table, std::uint32_t tableOffset) {
    std::string data;
    append16(data, table.stringsPerBucket);
    for (const auto& [offset, inRecord] : table.buckets) {
        append32(data, tableOffset + offset);
        append16(data, inRecord);
        append16(data, 0);
    }
    return makeRecord(rt::kExtSst, data);
}

} // namespace engine::xls
