// The styles part (ECMA-376 Part 1, 18.8): only what replacement needs, whether the cell format
// of a cell locks it on a protected sheet (cellXfs/xf/protection@locked, 18.8.33) and whether
// it shows numbers as dates or times (xf@numFmtId, numFmts/numFmt, 18.8.30).
#pragma once

#include "engine/result.h"

#include <string>
#include <string_view>
#include <vector>

namespace engine::ooxml {

class Styles {
public:
    /// Reads cellXfs from the part. Errors: Corrupt (detail names the part).
    static Result<Styles> parse(std::string_view part, const std::string& partName);
    /// True when cell format xf locks its cells: cells are locked unless their format says
    /// locked="0", and a format that does not exist counts as the default.
    bool locked(std::size_t xf) const { return xf >= m_locked.size() || m_locked[xf] != 0; }
    /// True when cell format xf shows numbers as a date or time.
    bool isDate(std::size_t xf) const { return xf < m_date.size() && m_date[xf] != 0; }

private:
    class Reader;
    std::vector<char> m_locked;
    std::vector<char> m_date;
};

/// An xsd:boolean attribute value ("1", "true").
inline bool xmlTrue(const char* value) {
    return value != nullptr &&
           (std::string_view(value) == "1" || std::string_view(value) == "true");
}

} // namespace engine::ooxml
