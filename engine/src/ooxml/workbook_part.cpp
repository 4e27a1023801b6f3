// Reading the sheet list of workbook.xml.
#include "workbook_part.h"

#include "namespaces.h"
#include "xml/xml_scanner.h"

namespace engine::ooxml {
namespace {

class Reader : public xml::ScanHandler {
public:
    explicit Reader(std::vector<SheetEntry>& out) : m_out(out) {}
    void startElement(const xml::QName& name, xml::Attributes attributes,
                      xml::Span /*tag*/) override {
        ++m_depth;
        if (m_depth != 3 || !isMain(name.uri) || name.local != "sheet") {
            return;
        }
        SheetEntry sheet;
        if (const char* n = xml::findAttribute(attributes, "name")) {
            sheet.name = n;
        }
        const char* id = xml::findAttribute(attributes, kRelationshipsTransitional, "id");
        if (id == nullptr) {
            id = xml::findAttribute(attributes, kRelationshipsStrict, "id");
        }
        if (id != nullptr) {
            sheet.relationshipId = id;
        }
        m_out.push_back(std::move(sheet));
    }
    void endElement(const xml::QName& /*name*/, xml::Span /*tag*/) override { --m_depth; }

private:
    std::vector<SheetEntry>& m_out;
    int m_depth = 0;
};

} // namespace

Result<std::vector<SheetEntry>> parseWorkbookSheets(std::string_view part,
                                                    const std::string& partName) {
    std::vector<SheetEntry> sheets;
    Reader reader(sheets);
    xml::Scanner scanner(reader);
    auto status = scanner.scanAll(part);
    if (!status) {
        return Error{status.error().code, partName + ": " + status.error().detail};
    }
    return sheets;
}

} // namespace engine::ooxml
