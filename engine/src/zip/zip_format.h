// Record signatures, sizes and little-endian field access of the ZIP format (APPNOTE 6.3.x,
// section 4.3), shared by the reader and the writer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace engine::zip::format {

constexpr std::uint32_t kLocalHeaderSignature = 0x04034b50;    // 4.3.7
constexpr std::uint32_t kDataDescriptorSignature = 0x08074b50; // 4.3.9.3
constexpr std::uint32_t kCentralHeaderSignature = 0x02014b50;  // 4.3.12
constexpr std::uint32_t kZip64EndSignature = 0x06064b50;       // 4.3.14
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;   // 4.3.15
constexpr std::uint32_t kEndSignature = 0x06054b50;            // 4.3.16
constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::size_t kCentralHeaderSize = 46;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kZip64EndSize = 56;
constexpr std::size_t kZip64LocatorSize = 20;
constexpr std::uint16_t kZip64ExtraId = 0x0001; // 4.5.3
constexpr std::uint32_t kMax32 = 0xffffffffU;
constexpr std::uint16_t kMax16 = 0xffffU;
constexpr std::uint16_t kFlagEncrypted = 1U << 0;
constexpr std::uint16_t kFlagDataDescriptor = 1U << 3;
constexpr std::uint16_t kFlagStrongEncryption = 1U << 6;

inline std::uint16_t load16(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return static_cast<std::uint16_t>(u[0] | (u[1] << 8));
}
inline std::uint32_t load32(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return static_cast<std::uint32_t>(u[0]) | (static_cast<std::uint32_t>(u[1]) << 8) |
           (static_cast<std::uint32_t>(u[2]) << 16) | (static_cast<std::uint32_t>(u[3]) << 24);
}
inline std::uint64_t load64(const char* p) {
    return static_cast<std::uint64_t>(load32(p)) |
           (static_cast<std::uint64_t>(load32(p + 4)) << 32);
}
inline void append16(std::string& out, std::uint16_t v) {
    out.push_back(static_cast<char>(v & 0xff));
    out.push_back(static_cast<char>(v >> 8));
}
inline void append32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
    }
}
inline void append64(std::string& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) {
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
    }
}
inline void store32(char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<char>((v >> (8 * i)) & 0xff);
    }
}

/// `extra` without the fields whose header id is `id`; a malformed tail is kept as it is.
inline std::string withoutExtraField(std::string_view extra, std::uint16_t id) {
    std::string kept;
    std::size_t pos = 0;
    while (pos + 4 <= extra.size()) {
        const std::uint16_t fieldId = load16(extra.data() + pos);
        const std::size_t size = load16(extra.data() + pos + 2);
        if (pos + 4 + size > extra.size()) {
            break;
        }
        if (fieldId != id) {
            kept.append(extra.substr(pos, 4 + size));
        }
        pos += 4 + size;
    }
    kept.append(extra.substr(pos));
    return kept;
}

} // namespace engine::zip::format
