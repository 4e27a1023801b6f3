// Builds ZIP archives byte by byte for the reader and writer tests, including layouts that
// ordinary writers never produce (descriptors with and without signature, Zip64 fields where
// none are needed, lies in sizes and offsets).
#pragma once

#include "zip/zip_format.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace engine::zip::test_support {

enum class Descriptor { None, WithSignature, WithoutSignature };

struct TestEntry {
    TestEntry(std::string name_, std::string content_, std::uint16_t method_ = 8,
              Descriptor descriptor_ = Descriptor::None, bool zip64_ = false,
              std::uint16_t flags_ = 0, std::string localExtra_ = {})
        : name(std::move(name_)), content(std::move(content_)), method(method_),
          descriptor(descriptor_), zip64(zip64_), flags(flags_),
          localExtra(std::move(localExtra_)) {}
    std::string name;
    std::string content;
    std::uint16_t method = 8;
    Descriptor descriptor = Descriptor::None;
    bool zip64 = false; ///< Zip64 fields in local and central headers although not needed
    std::uint16_t flags = 0;
    std::string localExtra; ///< extra field bytes of the local header
};

inline std::string rawDeflate(const std::string& content, int level = 6) {
    z_stream s{};
    deflateInit2(&s, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&s, content.size()) + 16, '\0');
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
    s.avail_in = static_cast<uInt>(content.size());
    s.next_out = reinterpret_cast<Bytef*>(out.data());
    s.avail_out = static_cast<uInt>(out.size());
    deflate(&s, Z_FINISH);
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

/// The parts of a built archive, so that tests can find and damage single fields.
struct BuiltArchive {
    std::string bytes;
    std::vector<std::size_t> localOffsets;
    std::vector<std::size_t> centralOffsets;
    std::size_t centralOffset = 0;
    std::size_t endOffset = 0;
};

inline BuiltArchive buildArchive(const std::vector<TestEntry>& entries,
                                 const std::string& comment = {}, bool zip64End = false) {
    using namespace format;
    BuiltArchive a;
    std::vector<std::string> centrals;
    for (const auto& e : entries) {
        const std::string data = e.method == 8 ? rawDeflate(e.content) : e.content;
        const auto crc =
            static_cast<std::uint32_t>(::crc32(0, reinterpret_cast<const Bytef*>(e.content.data()),
                                               static_cast<uInt>(e.content.size())));
        const auto flags = static_cast<std::uint16_t>(
            e.flags | (e.descriptor != Descriptor::None ? kFlagDataDescriptor : 0));
        const bool inHeader = e.descriptor == Descriptor::None;
        std::string zip64Local;
        if (e.zip64) {
            append16(zip64Local, kZip64ExtraId);
            append16(zip64Local, 16);
            append64(zip64Local, inHeader ? e.content.size() : 0);
            append64(zip64Local, inHeader ? data.size() : 0);
        }
        a.localOffsets.push_back(a.bytes.size());
        std::string& b = a.bytes;
        const std::size_t offset = b.size();
        append32(b, kLocalHeaderSignature);
        append16(b, e.zip64 ? 45 : 20);
        append16(b, flags);
        append16(b, e.method);
        append16(b, 0x6000);
        append16(b, 0x5a21);
        append32(b, inHeader ? crc : 0);
        append32(b, e.zip64 ? kMax32 : inHeader ? static_cast<std::uint32_t>(data.size()) : 0);
        append32(b, e.zip64 ? kMax32 : inHeader ? static_cast<std::uint32_t>(e.content.size()) : 0);
        append16(b, static_cast<std::uint16_t>(e.name.size()));
        append16(b, static_cast<std::uint16_t>(zip64Local.size() + e.localExtra.size()));
        b.append(e.name).append(zip64Local).append(e.localExtra).append(data);
        if (e.descriptor == Descriptor::WithSignature) {
            append32(b, kDataDescriptorSignature);
        }
        if (e.descriptor != Descriptor::None) {
            append32(b, crc);
            if (e.zip64) {
                append64(b, data.size());
                append64(b, e.content.size());
            } else {
                append32(b, static_cast<std::uint32_t>(data.size()));
                append32(b, static_cast<std::uint32_t>(e.content.size()));
            }
        }
        std::string c;
        std::string zip64Central;
        if (e.zip64) {
            append16(zip64Central, kZip64ExtraId);
            append16(zip64Central, 24);
            append64(zip64Central, e.content.size());
            append64(zip64Central, data.size());
            append64(zip64Central, offset);
        }
        append32(c, kCentralHeaderSignature);
        append16(c, 0x031e);
        append16(c, e.zip64 ? 45 : 20);
        append16(c, flags);
        append16(c, e.method);
        append16(c, 0x6000);
        append16(c, 0x5a21);
        append32(c, crc);
        append32(c, e.zip64 ? kMax32 : static_cast<std::uint32_t>(data.size()));
        append32(c, e.zip64 ? kMax32 : static_cast<std::uint32_t>(e.content.size()));
        append16(c, static_cast<std::uint16_t>(e.name.size()));
        append16(c, static_cast<std::uint16_t>(zip64Central.size()));
        append16(c, 0);
        append16(c, 0);
        append16(c, 0);
        append32(c, 0x81a40000);
        append32(c, e.zip64 ? kMax32 : static_cast<std::uint32_t>(offset));
        c += e.name + zip64Central;
        centrals.push_back(c);
    }
    a.centralOffset = a.bytes.size();
    for (const auto& c : centrals) {
        a.centralOffsets.push_back(a.bytes.size());
        a.bytes += c;
    }
    const std::size_t centralSize = a.bytes.size() - a.centralOffset;
    if (zip64End) {
        const std::size_t zip64Offset = a.bytes.size();
        append32(a.bytes, kZip64EndSignature);
        append64(a.bytes, kZip64EndSize - 12);
        append16(a.bytes, 45);
        append16(a.bytes, 45);
        append32(a.bytes, 0);
        append32(a.bytes, 0);
        append64(a.bytes, entries.size());
        append64(a.bytes, entries.size());
        append64(a.bytes, centralSize);
        append64(a.bytes, a.centralOffset);
        append32(a.bytes, kZip64LocatorSignature);
        append32(a.bytes, 0);
        append64(a.bytes, zip64Offset);
        append32(a.bytes, 1);
    }
    a.endOffset = a.bytes.size();
    append32(a.bytes, kEndSignature);
    append16(a.bytes, 0);
    append16(a.bytes, 0);
    append16(a.bytes, zip64End ? kMax16 : static_cast<std::uint16_t>(entries.size()));
    append16(a.bytes, zip64End ? kMax16 : static_cast<std::uint16_t>(entries.size()));
    append32(a.bytes, zip64End ? kMax32 : static_cast<std::uint32_t>(centralSize));
    append32(a.bytes, zip64End ? kMax32 : static_cast<std::uint32_t>(a.centralOffset));
    append16(a.bytes, static_cast<std::uint16_t>(comment.size()));
    a.bytes += comment;
    return a;
}

inline void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::string bytes(static_cast<std::size_t>(std::max<std::streamoff>(in.tellg(), 0)), '\0');
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

/// A fresh folder under the system's temporary folder, removed with the object.
class TempFolder {
public:
    TempFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "varnocliff-XXXXXX").string();
        m_path = ::mkdtemp(pattern.data());
    }
    ~TempFolder() {
        std::error_code error;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, error);
        std::filesystem::remove_all(m_path, error);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

} // namespace engine::zip::test_support
