// Reading a compound file (MS-CFB 2.2 header, 2.3 FAT, 2.4 mini FAT, 2.5 DIFAT, 2.6 directory)
// and rewriting one stream's sectors without moving anything else.
#include "compound_file.h"

#include "bytes.h"
#include "text/ascii.h"
#include "text/utf8.h"

#include <algorithm>
#include <cstring>

namespace engine::xls {
namespace {

constexpr std::uint32_t kFreeSect = 0xFFFFFFFF;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFatSect = 0xFFFFFFFD;
constexpr std::uint32_t kMaxRegSect = 0xFFFFFFFA;
constexpr std::uint32_t kNoStream = 0xFFFFFFFF;
constexpr std::size_t kHeaderDifatSlots = 109;

Error corrupt(std::string what) {
    return Error{ErrorCode::Corrupt, "compound file: " + std::move(what)};
}

} // namespace

Result<std::vector<std::uint32_t>> CompoundFile::chain(std::uint32_t start, std::uint64_t size,
                                                       const std::vector<std::uint32_t>& table,
                                                       std::uint64_t limit) const {
    std::vector<std::uint32_t> sectors;
    const std::uint64_t unit = &table == &m_miniFat ? 64 : m_sectorSize;
    const std::uint64_t expected = (size + unit - 1) / unit;
    std::vector<bool> seen(table.size(), false);
    for (std::uint32_t s = start; s != kEndOfChain;) {
        if (s >= table.size() || s >= limit) {
            return corrupt("a chain leads to sector " + std::to_string(s) + " outside the file");
        }
        if (seen[s]) {
            return corrupt("a chain passes sector " + std::to_string(s) + " twice");
        }
        seen[s] = true;
        sectors.push_back(s);
        if (sectors.size() > expected) {
            break; // longer than its size needs: the rest is never read
        }
        s = table[s];
    }
    if (sectors.size() < expected) {
        return corrupt("a stream's chain ends before its size");
    }
    sectors.resize(expected);
    return sectors;
}

Result<CompoundFile> CompoundFile::parse(std::string bytes) {
    CompoundFile file;
    file.m_bytes = std::move(bytes);
    const std::string& b = file.m_bytes;
    if (b.size() < 512 || b.compare(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") != 0) {
        return corrupt("no compound file header");
    }
    file.m_shift = load16(b.data() + 0x1E);
    if (file.m_shift != 9 && file.m_shift != 12) {
        return corrupt("unknown sector size");
    }
    file.m_sectorSize = std::size_t{1} << file.m_shift;
    if (b.size() < file.m_sectorSize) {
        return corrupt("the file is shorter than its header");
    }
    file.m_sectorCount = (b.size() - file.m_sectorSize + file.m_sectorSize - 1) >> file.m_shift;
    file.m_cutoff = load32(b.data() + 0x38);
    const std::uint32_t fatCount = load32(b.data() + 0x2C);
    if (fatCount > file.m_sectorCount) {
        return corrupt("more allocation table sectors than the file holds");
    }
    for (std::size_t i = 0; i < kHeaderDifatSlots && file.m_fatSectors.size() < fatCount; ++i) {
        file.m_fatSectors.push_back(load32(b.data() + 0x4C + 4 * i));
    }
    const std::size_t perSector = file.m_sectorSize / 4;
    std::uint32_t difat = load32(b.data() + 0x44);
    for (std::uint64_t guard = 0; file.m_fatSectors.size() < fatCount && difat <= kMaxRegSect;
         ++guard) {
        if (guard > file.m_sectorCount || difat >= file.m_sectorCount) {
            return corrupt("the allocation table's index is broken");
        }
        const char* p = b.data() + file.sectorOffset(difat);
        for (std::size_t i = 0; i + 1 < perSector && file.m_fatSectors.size() < fatCount; ++i) {
            file.m_fatSectors.push_back(load32(p + 4 * i));
        }
        difat = load32(p + file.m_sectorSize - 4);
    }
    if (file.m_fatSectors.size() < fatCount) {
        return corrupt("the allocation table's index ends early");
    }
    file.m_fat.reserve(fatCount * perSector);
    for (std::uint32_t s : file.m_fatSectors) {
        if (s >= file.m_sectorCount || file.sectorOffset(s) + file.m_sectorSize > b.size()) {
            return corrupt("an allocation table sector lies outside the file");
        }
        const char* p = b.data() + file.sectorOffset(s);
        for (std::size_t i = 0; i < perSector; ++i) {
            file.m_fat.push_back(load32(p + 4 * i));
        }
    }
    // Sectors are read whole; a file cut inside its last sector cannot be read safely.
    const std::uint64_t readable = (b.size() - file.m_sectorSize) >> file.m_shift;

    // The directory has no size of its own: follow its chain to the end.
    std::vector<std::uint32_t> dirSectors;
    {
        std::vector<bool> seen(file.m_fat.size(), false);
        for (std::uint32_t s = load32(b.data() + 0x30); s != kEndOfChain; s = file.m_fat[s]) {
            if (s >= file.m_fat.size() || s >= readable || seen[s]) {
                return corrupt("the directory's chain is broken");
            }
            seen[s] = true;
            dirSectors.push_back(s);
        }
    }
    file.m_directorySectors = dirSectors;
    for (std::uint32_t s : dirSectors) {
        const char* p = b.data() + file.sectorOffset(s);
        for (std::size_t at = 0; at + 128 <= file.m_sectorSize; at += 128) {
            const char* e = p + at;
            DirectoryEntry entry;
            entry.type = static_cast<std::uint8_t>(e[0x42]);
            const std::size_t nameBytes = std::min<std::size_t>(load16(e + 0x40), 64);
            for (std::size_t i = 0; i + 1 < nameBytes; i += 2) {
                const std::uint16_t unit = load16(e + i);
                if (unit == 0) {
                    break;
                }
                text::utf8::append(entry.name, unit);
            }
            entry.start = load32(e + 0x74);
            entry.size = load32(e + 0x78);
            if (load16(b.data() + 0x1A) == 4) {
                entry.size |= static_cast<std::uint64_t>(load32(e + 0x7C)) << 32;
            }
            file.m_entries.push_back(std::move(entry));
        }
    }
    if (file.m_entries.empty() || file.m_entries[0].type != 5) {
        return corrupt("no root entry");
    }
    // The root's children: a tree of siblings below the root's child link.
    std::vector<std::uint32_t> pending;
    std::vector<bool> visited(file.m_entries.size(), false);
    {
        const char* root = b.data() + file.sectorOffset(dirSectors[0]);
        pending.push_back(load32(root + 0x4C));
    }
    auto linkOf = [&](std::size_t index, std::size_t field) {
        const std::size_t perDir = file.m_sectorSize / 128;
        const char* e =
            b.data() + file.sectorOffset(dirSectors[index / perDir]) + (index % perDir) * 128;
        return load32(e + field);
    };
    while (!pending.empty()) {
        const std::uint32_t id = pending.back();
        pending.pop_back();
        if (id == kNoStream) {
            continue;
        }
        if (id >= file.m_entries.size() || visited[id]) {
            return corrupt("the directory tree is broken");
        }
        visited[id] = true;
        file.m_rootChildren.push_back(id);
        pending.push_back(linkOf(id, 0x44));
        pending.push_back(linkOf(id, 0x48));
    }
    std::sort(file.m_rootChildren.begin(), file.m_rootChildren.end());

    // The mini stream's table, for streams below the cutoff.
    std::uint32_t miniFatStart = load32(b.data() + 0x3C);
    std::vector<bool> seen(file.m_fat.size(), false);
    for (std::uint32_t s = miniFatStart; s != kEndOfChain && s != kFreeSect; s = file.m_fat[s]) {
        if (s >= file.m_fat.size() || s >= readable || seen[s]) {
            return corrupt("the mini stream's table is broken");
        }
        seen[s] = true;
        file.m_miniFatSectors.push_back(s);
        const char* p = b.data() + file.sectorOffset(s);
        for (std::size_t i = 0; i < perSector; ++i) {
            file.m_miniFat.push_back(load32(p + 4 * i));
        }
    }
    return file;
}

long CompoundFile::findRootChild(std::string_view name) const {
    for (std::size_t i : m_rootChildren) {
        const std::string& n = m_entries[i].name;
        if (text::equalsIgnoringAsciiCase(n, name)) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

Result<std::string> CompoundFile::readStream(std::size_t entry) const {
    const DirectoryEntry& e = m_entries[entry];
    const std::uint64_t readable = (m_bytes.size() - m_sectorSize) >> m_shift;
    if (e.size > m_bytes.size()) {
        return corrupt("stream " + e.name + " is larger than the file");
    }
    std::string out;
    out.reserve(e.size);
    if (e.size >= m_cutoff) {
        auto sectors = chain(e.start, e.size, m_fat, readable);
        if (!sectors) {
            return sectors.error();
        }
        for (std::uint32_t s : sectors.value()) {
            out.append(m_bytes, sectorOffset(s), m_sectorSize);
        }
    } else {
        const DirectoryEntry& root = m_entries[0];
        auto rootSectors = chain(root.start, root.size, m_fat, readable);
        if (!rootSectors) {
            return rootSectors.error();
        }
        auto mini = chain(e.start, e.size, m_miniFat, root.size / 64);
        if (!mini) {
            return mini.error();
        }
        for (std::uint32_t m : mini.value()) {
            const std::uint64_t at = std::uint64_t{m} * 64;
            const std::uint32_t sector = rootSectors.value()[at >> m_shift];
            out.append(m_bytes, sectorOffset(sector) + (at & (m_sectorSize - 1)), 64);
        }
    }
    out.resize(e.size);
    return out;
}

Result<std::string> CompoundFile::withStream(std::size_t entry, std::string_view data) const {
    const DirectoryEntry& e = m_entries[entry];
    const std::uint64_t readable = (m_bytes.size() - m_sectorSize) >> m_shift;
    std::string out = m_bytes;
    out.resize(m_sectorSize + m_sectorCount * m_sectorSize, '\0');
    std::vector<std::uint32_t> fat = m_fat;
    std::vector<std::uint32_t> fatSectors = m_fatSectors;
    std::vector<std::uint32_t> old;
    if (e.size >= m_cutoff) {
        auto sectors = chain(e.start, e.size, m_fat, readable);
        if (!sectors) {
            return sectors.error();
        }
        old = std::move(sectors.value());
    } else if (e.size > 0) {
        // Leaving the mini stream: its mini sectors become free.
        auto mini = chain(e.start, e.size, m_miniFat, m_entries[0].size / 64);
        if (!mini) {
            return mini.error();
        }
        const std::size_t perSector = m_sectorSize / 4;
        for (std::uint32_t m : mini.value()) {
            char* p = out.data() + sectorOffset(m_miniFatSectors[m / perSector]);
            store32(p + 4 * (m % perSector), kFreeSect);
        }
    }
    const std::size_t needed = (data.size() + m_sectorSize - 1) / m_sectorSize;
    std::uint64_t sectorCount = m_sectorCount;
    std::vector<std::uint32_t> sectors(
        old.begin(), old.begin() + static_cast<long>(std::min(needed, old.size())));
    for (std::size_t i = needed; i < old.size(); ++i) {
        fat[old[i]] = kFreeSect;
    }
    while (sectors.size() < needed) {
        std::uint64_t id = sectorCount;
        while (id < fat.size() && fat[id] != kFreeSect) {
            ++id; // a table that claims sectors past the end: never reuse those
        }
        if (id >= fat.size()) {
            if (fatSectors.size() >= kHeaderDifatSlots) {
                return Error{ErrorCode::ResourceLimit,
                             "the compound file's allocation table would outgrow its header"};
            }
            // The new table sector takes this id; the stream gets the next one.
            fat.resize(fat.size() + m_sectorSize / 4, kFreeSect);
            fat[id] = kFatSect;
            fatSectors.push_back(static_cast<std::uint32_t>(id));
            sectorCount = id + 1;
            continue;
        }
        if (id > kMaxRegSect) {
            return Error{ErrorCode::ResourceLimit, "the compound file would be too large"};
        }
        sectors.push_back(static_cast<std::uint32_t>(id));
        fat[id] = kEndOfChain;
        sectorCount = id + 1;
    }
    for (std::size_t i = 0; i < sectors.size(); ++i) {
        fat[sectors[i]] = i + 1 < sectors.size() ? sectors[i + 1] : kEndOfChain;
    }
    out.resize(m_sectorSize + sectorCount * m_sectorSize, '\0');
    for (std::size_t i = 0; i < sectors.size(); ++i) {
        char* p = out.data() + sectorOffset(sectors[i]);
        const std::size_t n = std::min(m_sectorSize, data.size() - i * m_sectorSize);
        std::memcpy(p, data.data() + i * m_sectorSize, n);
        std::memset(p + n, 0, m_sectorSize - n);
    }
    const std::size_t perSector = m_sectorSize / 4;
    for (std::size_t k = 0; k < fatSectors.size(); ++k) {
        char* p = out.data() + sectorOffset(fatSectors[k]);
        for (std::size_t i = 0; i < perSector; ++i) {
            store32(p + 4 * i, fat[k * perSector + i]);
        }
    }
    if (fatSectors.size() != m_fatSectors.size()) {
        store32(out.data() + 0x2C, static_cast<std::uint32_t>(fatSectors.size()));
        for (std::size_t k = m_fatSectors.size(); k < fatSectors.size(); ++k) {
            store32(out.data() + 0x4C + 4 * k, fatSectors[k]);
        }
    }
    const std::size_t perDir = m_sectorSize / 128;
    char* dir =
        out.data() + sectorOffset(m_directorySectors[entry / perDir]) + (entry % perDir) * 128;
    store32(dir + 0x74, sectors.empty() ? kEndOfChain : sectors[0]);
    store32(dir + 0x78, static_cast<std::uint32_t>(data.size()));
    if (load16(m_bytes.data() + 0x1A) == 4) {
        store32(dir + 0x7C,
                static_cast<std::uint32_t>(static_cast<std::uint64_t>(data.size()) >> 32));
    }
    return out;
}

} // namespace engine::xls
