// Helpers for the workbook tests: small OOXML packages built in memory (stored ZIP entries),
// temporary folders, and reading parts of a saved file back.
#pragma once

#include "zip/zip_archive.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace engine::testing {

namespace fs = std::filesystem;

inline void put16(std::string& s, unsigned v) {
    s.push_back(static_cast<char>(v & 0xff));
    s.push_back(static_cast<char>((v >> 8) & 0xff));
}
inline void put32(std::string& s, std::uint32_t v) {
    put16(s, v & 0xffff);
    put16(s, v >> 16);
}

/// A ZIP archive of stored entries, in the order given.
inline std::string makeZip(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string out, central;
    for (const auto& [name, data] : entries) {
        const std::uint32_t crc = zip::crc32(data);
        const auto offset = static_cast<std::uint32_t>(out.size());
        put32(out, 0x04034b50);
        put16(out, 20);
        put16(out, 0);
        put16(out, 0);
        put16(out, 0);
        put16(out, 0x21);
        put32(out, crc);
        put32(out, static_cast<std::uint32_t>(data.size()));
        put32(out, static_cast<std::uint32_t>(data.size()));
        put16(out, static_cast<unsigned>(name.size()));
        put16(out, 0);
        out += name;
        out += data;
        put32(central, 0x02014b50);
        put16(central, 20);
        put16(central, 20);
        put16(central, 0);
        put16(central, 0);
        put16(central, 0);
        put16(central, 0x21);
        put32(central, crc);
        put32(central, static_cast<std::uint32_t>(data.size()));
        put32(central, static_cast<std::uint32_t>(data.size()));
        put16(central, static_cast<unsigned>(name.size()));
        put16(central, 0);
        put16(central, 0);
        put16(central, 0);
        put16(central, 0);
        put32(central, 0);
        put32(central, offset);
        central += name;
    }
    const auto centralOffset = static_cast<std::uint32_t>(out.size());
    out += central;
    put32(out, 0x06054b50);
    put16(out, 0);
    put16(out, 0);
    put16(out, static_cast<unsigned>(entries.size()));
    put16(out, static_cast<unsigned>(entries.size()));
    put32(out, static_cast<std::uint32_t>(central.size()));
    put32(out, centralOffset);
    put16(out, 0);
    return out;
}

inline const std::string kMainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
inline const std::string kRelNs =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

/// A small workbook package; each sheet is a worksheet part unless its kind says otherwise.
struct TestBook {
    struct Sheet {
        Sheet(std::string n, std::string x, std::string k = "worksheet", std::string t = {})
            : name(std::move(n)), xml(std::move(x)), kind(std::move(k)), tableXml(std::move(t)) {}
        std::string name;
        std::string xml;                ///< the part
        std::string kind = "worksheet"; ///< worksheet, chartsheet, macrosheet
        std::string tableXml;           ///< a table part on this sheet, if any
    };
    std::vector<Sheet> sheets;
    std::string sharedStrings;                              ///< the sst part, if any
    std::string styles;                                     ///< the styles part, if any
    std::vector<std::pair<std::string, std::string>> extra; ///< more entries, at the end
    std::string packageRelsExtra;                           ///< more package relationships
    std::string workbookExtra;     ///< more workbook children, after <sheets>
    std::string workbookRelsExtra; ///< more workbook relationships
    std::string typesExtra;        ///< more content types

    std::string bytes() const {
        std::vector<std::pair<std::string, std::string>> e;
        std::string types =
            R"(<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"><Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/><Default Extension="xml" ContentType="application/xml"/><Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>)" +
            typesExtra + "</Types>";
        e.emplace_back("[Content_Types].xml", types);
        e.emplace_back(
            "_rels/.rels",
            R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type=")" +
                kRelNs + R"(/officeDocument" Target="xl/workbook.xml"/>)" + packageRelsExtra +
                "</Relationships>");
        std::string workbook =
            "<workbook xmlns=\"" + kMainNs + "\" xmlns:r=\"" + kRelNs + "\"><sheets>";
        std::string rels =
            R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)";
        for (std::size_t i = 0; i < sheets.size(); ++i) {
            const std::string id = "rId" + std::to_string(i + 1);
            workbook += "<sheet name=\"" + sheets[i].name + "\" sheetId=\"" +
                        std::to_string(i + 1) + "\" r:id=\"" + id + "\"/>";
            const std::string& kind = sheets[i].kind;
            const std::string type =
                kind == "macrosheet"
                    ? "http://schemas.microsoft.com/office/2006/relationships/xlMacrosheet"
                    : kRelNs + "/" + kind;
            const std::string part = "xl/" + kind + "s/sheet" + std::to_string(i + 1) + ".xml";
            rels += "<Relationship Id=\"" + id + "\" Type=\"" + type + "\" Target=\"" +
                    part.substr(3) + "\"/>";
            e.emplace_back(part, sheets[i].xml);
            if (!sheets[i].tableXml.empty()) {
                const std::string table = "table" + std::to_string(i + 1) + ".xml";
                e.emplace_back(
                    "xl/" + kind + "s/_rels/sheet" + std::to_string(i + 1) + ".xml.rels",
                    R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type=")" +
                        kRelNs + "/table\" Target=\"../tables/" + table + "\"/></Relationships>");
                e.emplace_back("xl/tables/" + table, sheets[i].tableXml);
            }
        }
        if (!sharedStrings.empty()) {
            rels += "<Relationship Id=\"rId100\" Type=\"" + kRelNs +
                    "/sharedStrings\" Target=\"sharedStrings.xml\"/>";
            e.emplace_back("xl/sharedStrings.xml", sharedStrings);
        }
        if (!styles.empty()) {
            rels += "<Relationship Id=\"rId101\" Type=\"" + kRelNs +
                    "/styles\" Target=\"styles.xml\"/>";
            e.emplace_back("xl/styles.xml", styles);
        }
        e.emplace(e.begin() + 2, "xl/workbook.xml",
                  workbook + "</sheets>" + workbookExtra + "</workbook>");
        e.emplace(e.begin() + 3, "xl/_rels/workbook.xml.rels",
                  rels + workbookRelsExtra + "</Relationships>");
        for (const auto& x : extra) {
            e.push_back(x);
        }
        return makeZip(e);
    }
};

inline std::string worksheet(const std::string& rows, const std::string& after = {}) {
    return "<worksheet xmlns=\"" + kMainNs + "\"><sheetData>" + rows + "</sheetData>" + after +
           "</worksheet>";
}

inline std::string sst(const std::vector<std::string>& texts) {
    std::string out = "<sst xmlns=\"" + kMainNs + "\" count=\"" + std::to_string(texts.size()) +
                      "\" uniqueCount=\"" + std::to_string(texts.size()) + "\">";
    for (const auto& t : texts) {
        out += "<si><t>" + t + "</t></si>";
    }
    return out + "</sst>";
}

inline std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

/// A fresh folder for one test, removed afterwards.
class TempFolder {
public:
    TempFolder() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = "varnocliff-" + std::string(info->test_suite_name()) + "-" +
                           info->name() + "-" + std::to_string(::getpid());
        for (char& c : name) {
            if (c == '/') {
                c = '_';
            }
        }
        m_path = fs::temp_directory_path() / name;
        fs::remove_all(m_path);
        fs::create_directories(m_path);
    }
    ~TempFolder() {
        std::error_code ec;
        fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(m_path, ec);
    }
    const fs::path& path() const { return m_path; }
    fs::path file(const std::string& name, const std::string& bytes) const {
        const fs::path p = m_path / name;
        writeFile(p, bytes);
        return p;
    }

private:
    fs::path m_path;
};

/// One part of a ZIP file, inflated.
inline std::string part(const fs::path& file, const std::string& name) {
    auto reader = zip::ZipReader::open(file);
    if (!reader) {
        return "<no archive: " + reader.error().message() + ">";
    }
    const auto index = reader.value()->find(name);
    if (!index) {
        return "<no part " + name + ">";
    }
    auto bytes = reader.value()->readAll(*index);
    return bytes ? bytes.value() : "<unreadable: " + bytes.error().message() + ">";
}

} // namespace engine::testing
