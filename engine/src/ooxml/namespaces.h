// Namespace URIs and relationship types of SpreadsheetML, in both the transitional and the
// strict form (ECMA-376 Part 1; strict: ISO/IEC 29500 Strict). Parts are read by URI, never
// by prefix.
#pragma once

#include <algorithm>
#include <array>
#include <string_view>

namespace engine::ooxml {

inline constexpr std::string_view kMainTransitional =
    "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
inline constexpr std::string_view kMainStrict = "http://purl.oclc.org/ooxml/spreadsheetml/main";
inline constexpr std::string_view kPackageRelationships =
    "http://schemas.openxmlformats.org/package/2006/relationships";
inline constexpr std::string_view kContentTypes =
    "http://schemas.openxmlformats.org/package/2006/content-types";
inline constexpr std::string_view kRelationshipsTransitional =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
inline constexpr std::string_view kRelationshipsStrict =
    "http://purl.oclc.org/ooxml/officeDocument/relationships";
inline constexpr std::string_view kSignatureOrigin =
    "http://schemas.openxmlformats.org/package/2006/relationships/digital-signature/origin";
inline constexpr std::string_view kMacroSheetType =
    "http://schemas.microsoft.com/office/2006/relationships/xlMacrosheet";
inline constexpr std::string_view kIntlMacroSheetType =
    "http://schemas.microsoft.com/office/2006/relationships/xlIntlMacrosheet";

inline bool isMain(std::string_view uri) {
    return uri == kMainTransitional || uri == kMainStrict;
}
inline bool isRelationshipsNs(std::string_view uri) {
    return uri == kRelationshipsTransitional || uri == kRelationshipsStrict;
}

/// True when type is the officeDocument relationship type `name` ("worksheet",
/// "sharedStrings", ...) in either form.
inline bool isRelationshipType(std::string_view type, std::string_view name) {
    constexpr std::array<std::string_view, 2> kBases = {kRelationshipsTransitional,
                                                        kRelationshipsStrict};
    return std::ranges::any_of(kBases, [&](std::string_view base) {
        return type.size() == base.size() + 1 + name.size() && type.starts_with(base) &&
               type[base.size()] == '/' && type.ends_with(name);
    });
}

} // namespace engine::ooxml
