// Laying out the Workbook stream after edits and fixing the offsets that point into it.
#include "layout.h"

#include "bytes.h"

#include <algorithm>

namespace engine::xls {

Result<std::string> layOut(const Globals& g, ChangeSet& changes) {
    std::map<std::size_t, std::string>& edits = changes.edits;
    WrittenTable table;
    std::size_t tableRecord = SIZE_MAX; // the record whose new bytes begin with the table
    if (changes.stringsChanged) {
        table = writeSharedStrings(changes.strings);
        if (g.sstRecord != SIZE_MAX) {
            tableRecord = g.sstRecord;
            edits[g.sstRecord] = table.records;
            for (std::size_t i = g.sstRecord + 1;
                 i < g.records.size() && g.records[i].type == rt::kContinue; ++i) {
                edits[i].clear();
            }
            if (g.extSstRecord != SIZE_MAX) {
                edits[g.extSstRecord] = makeExtSst(table, 0); // offsets filled in below
            }
        } else {
            tableRecord = g.globalsEof;
            const Record& eof = g.records[g.globalsEof];
            edits[g.globalsEof] =
                table.records + makeExtSst(table, 0) + g.stream.substr(eof.offset, 4 + eof.size);
        }
    }

    const std::size_t n = g.records.size();
    std::vector<std::uint32_t> newStart(n + 1);
    std::uint32_t at = 0;
    for (std::size_t i = 0; i < n; ++i) {
        newStart[i] = at;
        const auto it = edits.find(i);
        at += static_cast<std::uint32_t>(it != edits.end() ? it->second.size()
                                                           : 4 + g.records[i].size);
    }
    newStart[n] = at;
    const std::uint32_t oldEnd = n == 0 ? 0 : g.records.back().end();

    // Where a position of the old stream is now: its record's new start plus the distance
    // into the record (a changed record's start for any position inside it).
    const auto moved = [&](std::uint32_t old) -> std::uint32_t {
        if (old >= oldEnd) {
            return old - oldEnd + newStart[n];
        }
        const auto it =
            std::upper_bound(g.records.begin(), g.records.end(), old,
                             [](std::uint32_t o, const Record& r) { return o < r.offset; });
        const auto i = static_cast<std::size_t>(it - g.records.begin()) - 1;
        return edits.contains(i) ? newStart[i] : newStart[i] + (old - g.records[i].offset);
    };

    std::string out;
    out.reserve(newStart[n] + (g.stream.size() - oldEnd));
    for (std::size_t i = 0; i < n; ++i) {
        const auto it = edits.find(i);
        if (it != edits.end()) {
            out += it->second;
        } else {
            out.append(g.stream, g.records[i].offset, 4 + g.records[i].size);
        }
    }
    out.append(g.stream, oldEnd, std::string::npos);

    for (std::size_t i = 0; i < n; ++i) {
        const Record& r = g.records[i];
        if (edits.contains(i)) {
            continue;
        }
        char* data = out.data() + newStart[i] + 4;
        const char* old = g.stream.data() + r.dataOffset();
        if (r.type == rt::kBoundSheet && r.size >= 4) {
            store32(data, moved(load32(old)));
        } else if (r.type == rt::kIndex && r.size >= 16) {
            store32(data + 12, moved(load32(old + 12)));
            for (std::size_t k = 16; k + 4 <= r.size; k += 4) {
                store32(data + k, moved(load32(old + k)));
            }
        } else if (r.type == rt::kDbCell && r.size >= 4) {
            // dbRtrw: back to the block's first ROW; rgdb: from the end of that ROW to the first
            // cell of each row, then from each row's first cell to the next one's.
            const std::uint32_t firstRow = r.offset - load32(old);
            const std::uint32_t newFirstRow = moved(firstRow);
            store32(data, newStart[i] - newFirstRow);
            std::uint32_t previousOld = firstRow + 20;
            std::uint32_t previousNew = newFirstRow + 20;
            for (std::size_t k = 4; k + 2 <= r.size; k += 2) {
                const std::uint32_t cellOld = previousOld + load16(old + k);
                const std::uint32_t cellNew = moved(cellOld);
                if (cellNew - previousNew > 0xFFFF) {
                    return Error{ErrorCode::ResourceLimit,
                                 "a row's cells would outgrow the index of their block (DBCELL)"};
                }
                store16(data + k, static_cast<std::uint16_t>(cellNew - previousNew));
                previousOld = cellOld;
                previousNew = cellNew;
            }
        }
    }
    if (tableRecord != SIZE_MAX) {
        const std::string extSst = makeExtSst(table, newStart[tableRecord]);
        const std::size_t extAt =
            g.extSstRecord != SIZE_MAX && g.sstRecord != SIZE_MAX ? newStart[g.extSstRecord]
            : g.sstRecord == SIZE_MAX ? newStart[tableRecord] + table.records.size()
                                      : SIZE_MAX;
        if (extAt != SIZE_MAX) {
            out.replace(extAt, extSst.size(), extSst);
        }
    }
    return out;
}

} // namespace engine::xls
