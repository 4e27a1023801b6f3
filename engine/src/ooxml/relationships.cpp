// Relationships and content types.
#include "relationships.h"

#include "namespaces.h"
#include "text/ascii.h"
#include "xml/xml_scanner.h"

#include <algorithm>

namespace engine::ooxml {
namespace {

class RelsReader : public xml::ScanHandler {
public:
    RelsReader(std::vector<Relationship>& out, const std::string& source)
        : m_out(out), m_source(source) {}
    void startElement(const xml::QName& name, xml::Attributes attributes,
                      xml::Span /*tag*/) override {
        ++m_depth;
        if (m_depth != 2 || name.uri != kPackageRelationships || name.local != "Relationship") {
            return;
        }
        Relationship r;
        const char* id = xml::findAttribute(attributes, "Id");
        const char* type = xml::findAttribute(attributes, "Type");
        const char* target = xml::findAttribute(attributes, "Target");
        const char* mode = xml::findAttribute(attributes, "TargetMode");
        r.id = id != nullptr ? id : "";
        r.type = type != nullptr ? type : "";
        r.external = mode != nullptr && std::string_view(mode) == "External";
        if (target != nullptr) {
            r.target = r.external ? std::string(target) : resolveTarget(m_source, target);
        }
        m_out.push_back(std::move(r));
    }
    void endElement(const xml::QName& /*name*/, xml::Span /*tag*/) override { --m_depth; }

private:
    std::vector<Relationship>& m_out;
    const std::string& m_source;
    int m_depth = 0;
};

class TypesReader : public xml::ScanHandler {
public:
    TypesReader(std::vector<std::pair<std::string, std::string>>& overrides,
                std::vector<std::pair<std::string, std::string>>& defaults)
        : m_overrides(overrides), m_defaults(defaults) {}
    void startElement(const xml::QName& name, xml::Attributes attributes,
                      xml::Span /*tag*/) override {
        ++m_depth;
        if (m_depth != 2 || name.uri != kContentTypes) {
            return;
        }
        const char* type = xml::findAttribute(attributes, "ContentType");
        if (type == nullptr) {
            return;
        }
        if (name.local == "Override") {
            if (const char* part = xml::findAttribute(attributes, "PartName")) {
                std::string_view p = part;
                if (p.starts_with('/')) {
                    p.remove_prefix(1);
                }
                m_overrides.emplace_back(text::asciiLower(p), type);
            }
        } else if (name.local == "Default") {
            if (const char* ext = xml::findAttribute(attributes, "Extension")) {
                m_defaults.emplace_back(text::asciiLower(ext), type);
            }
        }
    }
    void endElement(const xml::QName& /*name*/, xml::Span /*tag*/) override { --m_depth; }

private:
    std::vector<std::pair<std::string, std::string>>& m_overrides;
    std::vector<std::pair<std::string, std::string>>& m_defaults;
    int m_depth = 0;
};

} // namespace

std::string relationshipsPartName(const std::string& partName) {
    const auto slash = partName.rfind('/');
    if (slash == std::string::npos) {
        return "_rels/" + partName + ".rels";
    }
    return partName.substr(0, slash + 1) + "_rels/" + partName.substr(slash + 1) + ".rels";
}

std::string resolveTarget(const std::string& sourcePart, std::string_view target) {
    std::string path;
    if (target.starts_with('/')) {
        path = target.substr(1);
    } else {
        const auto slash = sourcePart.rfind('/');
        path = (slash == std::string::npos ? std::string() : sourcePart.substr(0, slash + 1)) +
               std::string(target);
    }
    std::vector<std::string> segments;
    std::size_t from = 0;
    while (from <= path.size()) {
        auto to = path.find('/', from);
        if (to == std::string::npos) {
            to = path.size();
        }
        const std::string segment = path.substr(from, to - from);
        if (segment == "..") {
            if (!segments.empty()) {
                segments.pop_back();
            }
        } else if (!segment.empty() && segment != ".") {
            segments.push_back(segment);
        }
        from = to + 1;
    }
    std::string out;
    for (const auto& s : segments) {
        out += (out.empty() ? "" : "/") + s;
    }
    return out;
}

Result<std::vector<Relationship>> parseRelationships(std::string_view part,
                                                     const std::string& partName,
                                                     const std::string& sourcePart) {
    std::vector<Relationship> out;
    RelsReader reader(out, sourcePart);
    xml::Scanner scanner(reader);
    auto status = scanner.scanAll(part);
    if (!status) {
        return Error{status.error().code, partName + ": " + status.error().detail};
    }
    return out;
}

Result<ContentTypes> ContentTypes::parse(std::string_view part) {
    ContentTypes types;
    TypesReader reader(types.m_overrides, types.m_defaults);
    xml::Scanner scanner(reader);
    auto status = scanner.scanAll(part);
    if (!status) {
        return Error{status.error().code, "[Content_Types].xml: " + status.error().detail};
    }
    return types;
}

std::string ContentTypes::typeOf(std::string_view partName) const {
    if (partName.starts_with('/')) {
        partName.remove_prefix(1);
    }
    const std::string name = text::asciiLower(partName);
    for (const auto& [part, type] : m_overrides) {
        if (part == name) {
            return type;
        }
    }
    const auto dot = name.rfind('.');
    const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    for (const auto& [e, type] : m_defaults) {
        if (e == ext) {
            return type;
        }
    }
    return {};
}

} // namespace engine::ooxml
