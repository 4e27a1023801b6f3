// Styles: the locked flag of each cell format.
#include "styles.h"

#include "formula/date_formats.h"
#include "namespaces.h"
#include "xml/xml_scanner.h"

#include <charconv>
#include <map>

namespace engine::ooxml {
namespace {

int numberAttribute(xml::Attributes attributes, const char* name) {
    const char* v = xml::findAttribute(attributes, name);
    int n = 0;
    if (v != nullptr) {
        const std::string_view text = v;
        std::from_chars(text.data(), text.data() + text.size(), n);
    }
    return n;
}

} // namespace

class Styles::Reader : public xml::ScanHandler {
public:
    Reader(std::vector<char>& locked, std::vector<int>& formats, std::map<int, std::string>& codes)
        : m_locked(locked), m_formats(formats), m_codes(codes) {}
    void startElement(const xml::QName& name, xml::Attributes attributes, xml::Span) override {
        ++m_depth;
        if (!isMain(name.uri))
            return;
        if (m_depth == 2 && name.local == "cellXfs") {
            m_inXfs = true;
        } else if (m_depth == 3 && name.local == "numFmt") {
            if (const char* code = xml::findAttribute(attributes, "formatCode"))
                m_codes[numberAttribute(attributes, "numFmtId")] = code;
        } else if (m_inXfs && m_depth == 3 && name.local == "xf") {
            m_locked.push_back(1);
            m_formats.push_back(numberAttribute(attributes, "numFmtId"));
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
    std::vector<int>& m_formats;
    std::map<int, std::string>& m_codes;
    int m_depth = 0;
    bool m_inXfs = false;
};

Result<Styles> Styles::parse(std::string_view part, const std::string& partName) {
    Styles styles;
    std::vector<int> formats;
    std::map<int, std::string> codes;
    Reader reader(styles.m_locked, formats, codes);
    xml::Scanner scanner(reader);
    auto status = scanner.scanAll(part);
    if (!status)
        return Error{status.error().code, partName + ": " + status.error().detail};
    styles.m_date.reserve(formats.size());
    for (const int id : formats) {
        const auto code = codes.find(id);
        styles.m_date.push_back(
            formula::isDateTimeFormat(id, code == codes.end()
                                              ? std::nullopt
                                              : std::optional<std::string_view>(code->second))
                ? 1
                : 0);
    }
    return styles;
}

} // namespace engine::ooxml
