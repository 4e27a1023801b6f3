// The workbook part (ECMA-376 Part 1, 18.2.27 workbook): the sheets in workbook order with the
// relationship ids that lead to their parts.
#pragma once

#include "engine/result.h"

#include <string>
#include <string_view>
#include <vector>

namespace engine::ooxml {

struct SheetEntry {
    std::string name;
    std::string relationshipId; ///< r:id, in the transitional or strict relationships namespace
};

/// Reads <sheets> of a workbook part. Errors: Corrupt (detail names the part).
Result<std::vector<SheetEntry>> parseWorkbookSheets(std::string_view part,
                                                    const std::string& partName);

} // namespace engine::ooxml
