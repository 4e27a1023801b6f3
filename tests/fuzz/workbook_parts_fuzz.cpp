// Fuzz target for the parts that lead to the sheets: the workbook part, a relationships part
// and the content types part, each read from the same arbitrary bytes.
#include "ooxml/relationships.h"
#include "ooxml/workbook_part.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace engine::ooxml;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    (void)parseWorkbookSheets(bytes, "xl/workbook.xml");
    if (auto rels = parseRelationships(bytes, "xl/_rels/workbook.xml.rels", "xl/workbook.xml")) {
        for (const auto& r : rels.value()) {
            (void)resolveTarget("xl/workbook.xml", r.target);
        }
    }
    if (auto types = ContentTypes::parse(bytes)) {
        (void)types.value().typeOf("xl/worksheets/sheet1.xml");
    }
    return 0;
}
