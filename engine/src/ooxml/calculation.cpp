// Splicing the workbook part, its relationships and the content types when formulas change.
#include "calculation.h"

#include "namespaces.h"
#include "text/ascii.h"
#include "xml/xml_scanner.h"
#include "xml/xml_text.h"

#include <algorithm>
#include <array>
#include <vector>

namespace engine::ooxml {
namespace {

// The children of the root element: their local names, attribute values asked for, and spans.
struct Child {
    std::string local;
    std::string value; // of the attribute the collector was asked for
    xml::Span element;
    bool main = false;
};

class ChildCollector : public xml::ScanHandler {
public:
    explicit ChildCollector(std::string_view attribute) : m_attribute(attribute) {}
    std::vector<Child> children;
    xml::Span rootStart, rootEnd;

    void startElement(const xml::QName& name, xml::Attributes attributes, xml::Span tag) override {
        ++m_depth;
        if (m_depth == 1) {
            rootStart = tag;
        } else if (m_depth == 2) {
            const char* v = xml::findAttribute(attributes, m_attribute);
            children.push_back({std::string(name.local),
                                v != nullptr ? v : "",
                                {tag.begin, tag.end},
                                isMain(name.uri)});
        }
    }
    void endElement(const xml::QName& /*name*/, xml::Span tag) override {
        if (m_depth == 2) {
            children.back().element.end = tag.end;
        } else if (m_depth == 1) {
            rootEnd = tag;
        }
        --m_depth;
    }

private:
    std::string_view m_attribute;
    int m_depth = 0;
};

Result<ChildCollector> collect(std::string_view part, const std::string& partName,
                               std::string_view attribute) {
    ChildCollector collector(attribute);
    xml::Scanner scanner(collector);
    if (auto status = scanner.scanAll(part); !status) {
        return Error{status.error().code, partName + ": " + status.error().detail};
    }
    return collector;
}

std::string spliced(std::string_view part, xml::Span span, std::string_view with) {
    std::string out(part.substr(0, span.begin));
    out += with;
    out += part.substr(span.end);
    return out;
}

} // namespace

Result<std::string> markFullCalculation(std::string_view part, const std::string& partName) {
    auto collected = collect(part, partName, "fullCalcOnLoad");
    if (!collected) {
        return collected.error();
    }
    const ChildCollector& c = collected.value();
    for (const auto& child : c.children) {
        if (!child.main || child.local != "calcPr") {
            continue;
        }
        const std::string_view tag = part.substr(child.element.begin, child.element.size());
        if (const auto a = xml::findRawAttribute(tag, "fullCalcOnLoad")) {
            return spliced(part,
                           {child.element.begin + a->valueBegin, child.element.begin + a->valueEnd},
                           "1");
        }
        const std::uint64_t at = child.element.begin + xml::attributeInsertPoint(tag);
        return spliced(part, {at, at}, " fullCalcOnLoad=\"1\"");
    }
    // No calcPr: it goes before the first element the schema puts after it (CT_Workbook's
    // sequence), or at the end.
    constexpr std::array<std::string_view, 9> kAfter = {
        "oleSize",       "customWorkbookViews", "pivotCaches",       "smartTagPr", "smartTagTypes",
        "webPublishing", "fileRecoveryPr",      "webPublishObjects", "extLst"};
    std::uint64_t at = c.rootEnd.begin;
    for (const auto& child : c.children) {
        if (child.main && std::ranges::find(kAfter, child.local) != kAfter.end()) {
            at = child.element.begin;
            break;
        }
    }
    const std::string_view root =
        xml::rawElementName(part.substr(c.rootStart.begin, c.rootStart.size()));
    const auto colon = root.find(':');
    const std::string prefix(colon == std::string_view::npos ? "" : root.substr(0, colon + 1));
    if (c.rootEnd.size() == 0) {
        return Error{ErrorCode::Corrupt, partName + ": the workbook element is empty"};
    }
    return spliced(part, {at, at}, "<" + prefix + "calcPr fullCalcOnLoad=\"1\"/>");
}

Result<std::string> removeRelationship(std::string_view part, const std::string& partName,
                                       std::string_view id) {
    auto collected = collect(part, partName, "Id");
    if (!collected) {
        return collected.error();
    }
    for (const auto& child : collected.value().children) {
        if (child.local == "Relationship" && child.value == id) {
            return spliced(part, child.element, {});
        }
    }
    return std::string(part);
}

Result<std::string> removeOverride(std::string_view part, std::string_view partName) {
    auto collected = collect(part, "[Content_Types].xml", "PartName");
    if (!collected) {
        return collected.error();
    }
    const std::string name = "/" + std::string(partName);
    for (const auto& child : collected.value().children) {
        if (child.local == "Override" && text::equalsIgnoringAsciiCase(child.value, name)) {
            return spliced(part, child.element, {});
        }
    }
    return std::string(part);
}

} // namespace engine::ooxml
