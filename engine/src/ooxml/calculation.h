// What changes outside the sheets when a formula changes: the workbook asks for a full
// recalculation on load, and the calculation chain, which would name stale cells, goes.
#pragma once

#include "engine/result.h"

#include <string>
#include <string_view>

namespace engine::ooxml {

/// The workbook part with calcPr@fullCalcOnLoad="1" (ECMA-376 Part 1, 18.2.2), spliced: the
/// attribute is set or added, or the element added where the schema puts it. Errors: Corrupt
/// (detail names the part).
Result<std::string> markFullCalculation(std::string_view part, const std::string& partName);

/// A .rels part without the relationship whose Id is `id`. Errors: Corrupt.
Result<std::string> removeRelationship(std::string_view part, const std::string& partName,
                                       std::string_view id);

/// [Content_Types].xml without the Override of `partName` ("xl/calcChain.xml", compared
/// ignoring case as part names are). Errors: Corrupt.
Result<std::string> removeOverride(std::string_view part, std::string_view partName);

} // namespace engine::ooxml
