// Styles: the locked flag of each cell format.
#include "styles.h"

#include "namespaces.h"
#include "xml/xml_scanner.h"

namespace engine::ooxml {
namespace {

class Reader : public xml::ScanHandler {
public:
    explicit Reader(std::vector<char>& locked) : m_locked(locked) {}
    void startElement(const xml::QName& name, xml::Attributes attributes, xml::Span) override {
        ++m_depth;
        if (!isMain(name.uri))
            return;
        if (m_depth == 2 && name.local == "cellXfs") {
            m_inXfs = true;
        } else if (m_inXfs && m_depth == 3 && name.local == "xf") {
            m_locked.push_back(1);
        } else if (m_inXfs && m_depth == 4 && name.local == "protection") {
            const char* locked = xml::findAttribute(attributes, "locked");
            if (locked != nullptr && !xmlTrue(locked))
                m_locked.back() = 0;
        }
    }
    void endElement(const xml::QName&, xml::Span) override {
        if (m_depth == 2)
            m_inXfs = false;
        --m_depth;
    }

private:
    std::vector<char>& m_locked;
    int m_depth = 0;
    bool m_inXfs = false;
};

} // namespace

Result<Styles> Styles::parse(std::string_view part, const std::string& partName) {
    Styles styles;
    Reader reader(styles.m_locked);
    xml::Scanner scanner(reader);
    auto status = scanner.scanAll(part);
    if (!status)
        return Error{status.error().code, partName + ": " + status.error().detail};
    return styles;
}

} // namespace engine::ooxml
