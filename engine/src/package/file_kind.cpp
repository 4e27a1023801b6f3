// Telling a file's kind from its first bytes, and for a compound file (MS-CFB) from the names in
// its directory: an encrypted OOXML package is a compound file with two well-known streams
// (MS-OFFCRYPTO 2.3.4.1 / 2.3.4.4).
#include "package/file_kind.h"

#include "text/ascii.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace engine::package {

namespace {

constexpr std::string_view kCompoundSignature("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kMaxRegularSector = 0xFFFFFFFA;

std::uint32_t load32(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return static_cast<std::uint32_t>(u[0]) | (static_cast<std::uint32_t>(u[1]) << 8) |
           (static_cast<std::uint32_t>(u[2]) << 16) | (static_cast<std::uint32_t>(u[3]) << 24);
}

class File {
public:
    explicit File(int fd) : m_fd(fd) {}
    ~File() { ::close(m_fd); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    bool read(std::uint64_t offset, std::size_t size, std::string& out) const {
        out.resize(size);
        std::size_t done = 0;
        while (done < size) {
            const ssize_t got =
                ::pread(m_fd, out.data() + done, size - done, static_cast<off_t>(offset + done));
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                return false;
            }
            done += static_cast<std::size_t>(got);
        }
        return true;
    }

private:
    int m_fd;
};

// Whether the compound file's directory holds both streams of an encrypted package. Any
// inconsistency answers false: the file is then an (unreadable) legacy compound file.
bool holdsEncryptedPackage(const File& file, std::uint64_t fileSize, const std::string& header) {
    const unsigned shift = static_cast<unsigned char>(header[0x1E]);
    if (shift != 9 && shift != 12) {
        return false;
    }
    const std::size_t sectorSize = std::size_t{1} << shift;
    const std::uint64_t sectorCount = fileSize >> shift;
    auto readSector = [&](std::uint32_t sector, std::string& out) {
        return sector < sectorCount &&
               file.read((static_cast<std::uint64_t>(sector) + 1) << shift, sectorSize, out);
    };

    // The FAT's own sectors: 109 in the header, the rest in a chain of DIFAT sectors.
    std::vector<std::uint32_t> fatSectors;
    const std::uint32_t fatCount = load32(header.data() + 0x2C);
    if (fatCount > sectorCount) {
        return false;
    }
    for (std::size_t i = 0; i < 109 && fatSectors.size() < fatCount; ++i) {
        fatSectors.push_back(load32(header.data() + 0x4C + 4 * i));
    }
    std::uint32_t difat = load32(header.data() + 0x44);
    std::string sector;
    for (std::uint64_t guard = 0; fatSectors.size() < fatCount && difat <= kMaxRegularSector;
         ++guard) {
        if (guard > sectorCount || !readSector(difat, sector)) {
            return false;
        }
        for (std::size_t i = 0; i + 1 < sectorSize / 4 && fatSectors.size() < fatCount; ++i) {
            fatSectors.push_back(load32(sector.data() + 4 * i));
        }
        difat = load32(sector.data() + sectorSize - 4);
    }
    std::vector<std::uint32_t> fat;
    fat.reserve(fatSectors.size() * (sectorSize / 4));
    for (std::uint32_t fatSector : fatSectors) {
        if (!readSector(fatSector, sector)) {
            return false;
        }
        for (std::size_t i = 0; i < sectorSize / 4; ++i) {
            fat.push_back(load32(sector.data() + 4 * i));
        }
    }

    bool info = false;
    bool package = false;
    std::uint32_t next = load32(header.data() + 0x30);
    for (std::uint64_t guard = 0; next != kEndOfChain; ++guard) {
        if (guard > fat.size() || next >= fat.size() || !readSector(next, sector)) {
            return false;
        }
        for (std::size_t entry = 0; entry + 128 <= sectorSize; entry += 128) {
            const std::size_t nameBytes = static_cast<unsigned char>(sector[entry + 0x40]) |
                                          (static_cast<unsigned char>(sector[entry + 0x41]) << 8);
            if (nameBytes < 2 || nameBytes > 64) {
                continue;
            }
            // Names are UTF-16LE; the two wanted ones are ASCII.
            std::string name;
            for (std::size_t i = 0; i + 2 < nameBytes; i += 2) { // the length counts the final null
                if (sector[entry + i + 1] == 0 && sector[entry + i] != 0) {
                    name.push_back(sector[entry + i]);
                } else {
                    name.push_back('?');
                }
            }
            info = info || name == "EncryptionInfo";
            package = package || name == "EncryptedPackage";
        }
        next = fat[next];
    }
    return info && package;
}

} // namespace

bool isDelimitedTextName(const std::filesystem::path& path) {
    const std::string ext = text::asciiLower(path.extension().string());
    return ext == ".csv" || ext == ".tsv" || ext == ".txt" || ext == ".prn";
}

Result<FileKind> sniffFile(const std::filesystem::path& path) {
    // A FIFO or a device named as a workbook would block the open (a FIFO until a writer comes,
    // which may be never) or start reading a device: such files are refused before opening,
    // and the open does not block should one take the name in between.
    struct stat named {};
    if (::stat(path.c_str(), &named) == 0 && !S_ISREG(named.st_mode)) {
        return Error{ErrorCode::NotAWorkbook, path.string() + " is not a regular file"};
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) {
            return Error{ErrorCode::NotFound, path.string()};
        }
        if (error == EACCES || error == EPERM) {
            return Error{ErrorCode::PermissionDenied, path.string()};
        }
        return Error{ErrorCode::IoError, path.string() + ": " + std::strerror(error)};
    }
    File file(fd);
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return Error{ErrorCode::IoError, path.string() + ": " + std::strerror(errno)};
    }
    if (!S_ISREG(info.st_mode)) {
        return Error{ErrorCode::NotAWorkbook, path.string() + " is not a regular file"};
    }
    const auto size = static_cast<std::uint64_t>(info.st_size);
    std::string head;
    if (size < 4 || !file.read(0, 4, head)) {
        return FileKind::Other;
    }
    // A local header first, or an end record alone for an archive without entries.
    if (head == std::string("PK\x03\x04", 4) || head == std::string("PK\x05\x06", 4)) {
        return FileKind::Zip;
    }
    if (size < 512 || !file.read(0, 512, head) ||
        std::string_view(head).substr(0, 8) != kCompoundSignature) {
        return FileKind::Other;
    }
    return holdsEncryptedPackage(file, size, head) ? FileKind::EncryptedOoxml
                                                   : FileKind::LegacyCompound;
}

} // namespace engine::package
