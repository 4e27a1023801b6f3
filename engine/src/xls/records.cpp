// Splitting the Workbook stream into records.
#include "records.h"

#include "bytes.h"

namespace engine::xls {

Result<std::vector<Record>> splitRecords(std::string_view stream) {
    std::vector<Record> records;
    std::size_t at = 0;
    int depth = 0;
    while (at + 4 <= stream.size()) {
        Record r;
        r.offset = static_cast<std::uint32_t>(at);
        r.type = load16(stream.data() + at);
        r.size = load16(stream.data() + at + 2);
        if (r.type == 0 && r.size == 0 && depth == 0 && !records.empty()) {
            break; // padding after the last substream
        }
        if (at + 4 + r.size > stream.size()) {
            return Error{ErrorCode::Corrupt, "a record runs past the end of the Workbook stream"};
        }
        if (r.type == rt::kBof) {
            ++depth;
        } else if (r.type == rt::kEof && depth > 0) {
            --depth;
        }
        records.push_back(r);
        at += 4 + r.size;
    }
    return records;
}

std::string makeRecord(std::uint16_t type, std::string_view data) {
    std::string out;
    out.reserve(4 + data.size());
    append16(out, type);
    append16(out, static_cast<std::uint16_t>(data.size()));
    out.append(data);
    return out;
}

} // namespace engine::xls
