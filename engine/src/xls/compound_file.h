// The compound file (MS-CFB) around a .xls workbook: reading its directory and streams, and
// writing one stream anew in place, every other byte of the file kept as it was.
#pragma once

#include "engine/result.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace engine::xls {

/// One entry of the directory (MS-CFB 2.6.1).
struct DirectoryEntry {
    std::string name;      ///< UTF-8
    std::uint8_t type = 0; ///< 1 storage, 2 stream, 5 root
    std::uint32_t start = 0;
    std::uint64_t size = 0;
};

class CompoundFile {
public:
    /// Parses the whole file held in bytes. Errors: Corrupt (naming what is wrong).
    static Result<CompoundFile> parse(std::string bytes);

    const std::string& bytes() const { return m_bytes; }
    const std::vector<DirectoryEntry>& entries() const { return m_entries; }
    /// Indexes of the entries directly below the root, in directory order.
    const std::vector<std::size_t>& rootChildren() const { return m_rootChildren; }
    /// The child of the root whose name equals name, ignoring ASCII case; -1 when none.
    long findRootChild(std::string_view name) const;

    /// The bytes of a stream entry. Errors: Corrupt (a chain that loops, ends early or
    /// shares sectors).
    Result<std::string> readStream(std::size_t entry) const;

    /// The file with the stream of entry replaced by data, which must hold at least 4096
    /// bytes so that it lives in the regular sectors: its old sectors are reused in order, a
    /// tail no longer needed is freed, more sectors are appended at the end (the allocation
    /// table growing by whole sectors); a stream that lived in the mini stream has its mini
    /// sectors freed. Only those sectors, the allocation table, the header's table of it and the
    /// entry's start and size change. Errors: ResourceLimit when the table would outgrow the
    /// header's 109 slots.
    Result<std::string> withStream(std::size_t entry, std::string_view data) const;

private:
    Result<std::vector<std::uint32_t>> chain(std::uint32_t start, std::uint64_t size,
                                             const std::vector<std::uint32_t>& table,
                                             std::uint64_t limit) const;
    std::size_t sectorOffset(std::uint32_t sector) const {
        return (static_cast<std::size_t>(sector) + 1) << m_shift;
    }
    std::string m_bytes;
    unsigned m_shift = 9;
    std::size_t m_sectorSize = 512;
    std::uint64_t m_sectorCount = 0; // sectors the file holds
    std::vector<std::uint32_t> m_fat;
    std::vector<std::uint32_t> m_fatSectors;
    std::vector<std::uint32_t> m_miniFat;
    std::vector<std::uint32_t> m_miniFatSectors;
    std::vector<std::uint32_t> m_directorySectors;
    std::vector<DirectoryEntry> m_entries;
    std::vector<std::size_t> m_rootChildren;
    std::uint32_t m_cutoff = 4096;
};

} // namespace engine::xls
