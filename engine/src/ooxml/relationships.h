// Package relationships (OPC, ECMA-376 Part 2, 9.3) and content types ([Content_Types].xml,
// Part 2, 10.1): how the parts of a workbook are found, never by fixed names.
#pragma once

#include "engine/result.h"

#include <string>
#include <string_view>
#include <vector>

namespace engine::ooxml {

struct Relationship {
    std::string id;
    std::string type;
    std::string target; ///< the part name it points to, resolved ("xl/worksheets/sheet1.xml")
    bool external = false;
};

/// Reads a .rels part belonging to `sourcePart` ("" for the package). Errors: Corrupt.
Result<std::vector<Relationship>> parseRelationships(std::string_view part,
                                                     const std::string& partName,
                                                     const std::string& sourcePart);

/// The .rels part name of `partName` ("xl/workbook.xml" -> "xl/_rels/workbook.xml.rels").
std::string relationshipsPartName(const std::string& partName);

/// Resolves a relationship target against the folder of `sourcePart`: "../x" and "./x"
/// segments, and a leading "/" meaning the package root.
std::string resolveTarget(const std::string& sourcePart, std::string_view target);

class ContentTypes {
public:
    /// Reads [Content_Types].xml. Errors: Corrupt.
    static Result<ContentTypes> parse(std::string_view part);
    /// The content type of a part: its Override, else the Default of its extension.
    std::string typeOf(std::string_view partName) const;

private:
    std::vector<std::pair<std::string, std::string>> m_overrides; // lower-case name, type
    std::vector<std::pair<std::string, std::string>> m_defaults;  // lower-case extension, type
};

} // namespace engine::ooxml
