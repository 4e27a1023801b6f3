// Safe saving: the temporary file beside the target, its flush, and the rename over the target.
#include "package/output_file.h"

#include "package/lock_files.h"
#include "package/sys_calls.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <unistd.h>

namespace engine::package {

namespace {

constexpr std::size_t kBufferSize = 1U << 20;

Error systemError(int error, const std::string& what) {
    switch (error) {
    case ENOENT:
        return Error{ErrorCode::Vanished, what};
    case EACCES:
    case EPERM:
    case EROFS:
        return Error{ErrorCode::PermissionDenied, what};
    case ENOSPC:
    case EFBIG:
    case EDQUOT:
        return Error{ErrorCode::DiskFull, what};
    default:
        return Error{ErrorCode::IoError, what + ": " + std::strerror(error)};
    }
}

// A name that folder scans skip (hidden) and that tells a user where it came from.
std::filesystem::path temporaryName(const std::filesystem::path& target) {
    static thread_local std::mt19937_64 random(
        std::random_device{}() ^
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    constexpr std::string_view kDigits = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string suffix;
    for (int i = 0; i < 8; ++i) {
        suffix.push_back(kDigits[random() % 36]);
    }
    return target.parent_path() /
           ("." + target.filename().string() + "." + suffix + ".varnocliff-tmp");
}

// A copy of file at backup for file systems without hard links: created exclusively, so an
// existing file is never overwritten, with the original's permission bits and time stamps.
Status copyForBackup(const std::filesystem::path& file, const std::filesystem::path& backup,
                     const struct stat& original) {
    SysCalls& sys = sysCalls();
    const int in = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        return systemError(errno, "reading " + file.string() + " for its backup");
    }
    const int out = sys.open(backup.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        if (error == EEXIST) {
            return Error{ErrorCode::IoError, "the backup " + backup.string() +
                                                 " exists already; it is not overwritten"};
        }
        return systemError(error, "creating the backup " + backup.string());
    }
    Status status = Unit{};
    {
        OutputFile copy(out, backup);
        std::string buffer(std::size_t{1} << 16, '\0');
        for (;;) {
            const ssize_t got = ::read(in, buffer.data(), buffer.size());
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                status = systemError(errno, "reading " + file.string() + " for its backup");
                break;
            }
            if (got == 0) {
                status = copy.flush();
                break;
            }
            status = copy.write({buffer.data(), static_cast<std::size_t>(got)});
            if (!status) {
                break;
            }
        }
    }
    ::close(in);
    const struct timespec times[2] = {original.st_atim, original.st_mtim};
    if (status && (sys.fchmod(out, original.st_mode & 07777) != 0 || ::futimens(out, times) != 0)) {
        status = systemError(errno, "setting the permissions and times of " + backup.string());
    }
    if (sys.close(out) != 0 && status) {
        status = systemError(errno, "closing " + backup.string());
    }
    if (!status) {
        sys.unlink(backup.c_str());
    }
    return status;
}

// Keeps the original as backup: a hard link needs no copy and is the original, times and
// permissions included; link() fails on an existing name, so nothing is ever overwritten.
Status makeBackup(const std::filesystem::path& file, const std::filesystem::path& backup,
                  const struct stat& original) {
    if (sysCalls().link(file.c_str(), backup.c_str()) == 0) {
        return Unit{};
    }
    const int error = errno;
    if (error == EEXIST) {
        return Error{ErrorCode::IoError,
                     "the backup " + backup.string() + " exists already; it is not overwritten"};
    }
    if (error == EXDEV || error == EPERM || error == EOPNOTSUPP || error == EMLINK) {
        return copyForBackup(file, backup, original);
    }
    return systemError(error, "creating the backup " + backup.string());
}

} // namespace

FileIdentity FileIdentity::of(const struct stat& info) {
    return FileIdentity{info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
}

bool FileIdentity::operator==(const FileIdentity& other) const {
    return device == other.device && inode == other.inode && size == other.size &&
           modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec &&
           changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
}

OutputFile::OutputFile(int fd, std::filesystem::path path) : m_fd(fd), m_path(std::move(path)) {
    m_buffer.reserve(kBufferSize);
}

OutputFile::~OutputFile() = default;

Status OutputFile::write(std::string_view bytes) {
    m_position += bytes.size();
    if (m_buffer.size() + bytes.size() < kBufferSize) {
        m_buffer.append(bytes);
        return Unit{};
    }
    if (!m_buffer.empty()) {
        m_buffer.append(bytes);
        bytes = m_buffer;
    }
    while (!bytes.empty()) {
        const ssize_t written = sysCalls().write(m_fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            m_buffer.clear();
            return systemError(errno, "writing " + m_path.string());
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    m_buffer.clear();
    return Unit{};
}

Status OutputFile::flush() {
    std::string_view bytes = m_buffer;
    while (!bytes.empty()) {
        const ssize_t written = sysCalls().write(m_fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return systemError(errno, "writing " + m_path.string());
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    m_buffer.clear();
    if (sysCalls().fsync(m_fd) != 0) {
        return systemError(errno, "flushing " + m_path.string());
    }
    return Unit{};
}

Status replaceFileAtomically(const std::filesystem::path& target,
                             const std::function<Status(OutputFile&)>& write,
                             const ReplaceOptions& options) {
    SysCalls& sys = sysCalls();
    // A workbook reached through a symbolic link is replaced where it lies, so that the link
    // still leads to it afterwards.
    std::error_code linkError;
    std::filesystem::path file = target;
    if (std::filesystem::is_symlink(target, linkError)) {
        file = std::filesystem::canonical(target, linkError);
        if (linkError) {
            return Error{ErrorCode::NotFound, target.string()};
        }
    }
    struct stat before {};
    if (sys.stat(file.c_str(), &before) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return Error{ErrorCode::NotFound, file.string()};
        }
        return systemError(errno, file.string());
    }
    if (!S_ISREG(before.st_mode)) {
        return Error{ErrorCode::NotAWorkbook, file.string() + " is not a regular file"};
    }
    const std::string changedBehind =
        file.string() + " was changed by another program after it was read";
    if (options.expected && !(FileIdentity::of(before) == *options.expected)) {
        return Error{ErrorCode::Vanished, changedBehind};
    }
    const FileIdentity identity = options.expected.value_or(FileIdentity::of(before));
    // A read-only file is refused even though the folder would allow a rename over it: the user
    // marked it so, and a spreadsheet program would not save over it either. The mode bits are
    // checked too, because access() lets the superuser write anything.
    if ((before.st_mode & 0222) == 0 || sys.access(file.c_str(), W_OK) != 0) {
        return Error{ErrorCode::PermissionDenied, file.string() + " is read-only"};
    }

    if (auto status = checkLockFiles(file); !status) {
        return status;
    }

    std::filesystem::path temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = temporaryName(file);
        fd = sys.open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) {
            const int error = errno;
            if (error == ENOENT) {
                return Error{ErrorCode::Vanished, file.parent_path().string()};
            }
            return systemError(error, "creating a file in " + file.parent_path().string());
        }
    }
    if (fd < 0) {
        return Error{ErrorCode::IoError,
                     "no free temporary name in " + file.parent_path().string()};
    }

    // Whatever fails from here on, the temporary file goes and the target stays as it was.
    auto fail = [&](Error error) -> Status {
        if (fd >= 0) {
            sys.close(fd);
        }
        sys.unlink(temporary.c_str());
        return error;
    };
    {
        OutputFile out(fd, temporary);
        if (auto status = write(out); !status) {
            return fail(status.error());
        }
        if (auto status = out.flush(); !status) {
            return fail(status.error());
        }
    }
    // The owner can only be kept by the superuser (or a member of the group for the group);
    // anyone else saving a file makes it theirs, as any program that saves by rename does.
    (void)sys.fchown(fd, before.st_uid, before.st_gid);
    if (sys.fchmod(fd, before.st_mode & 07777) != 0) {
        return fail(systemError(errno, "setting the permissions of " + temporary.string()));
    }
    const int closeResult = sys.close(fd);
    fd = -1;
    if (closeResult != 0) {
        return fail(systemError(errno, "closing " + temporary.string()));
    }

    // The target must still be the file that was read: renaming over a file that took its
    // place, or recreating one that was deleted, would lose somebody's work. The check and the
    // rename happen under an exclusive lock on the target, so a second save of this program
    // waits and then finds a new file there; a program that takes no lock is still caught by
    // the check unless it renames in the moment between the check and the rename.
    const int locked = sys.open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0);
    if (locked < 0) {
        return fail(errno == ENOENT ? Error{ErrorCode::Vanished, file.string()}
                                    : systemError(errno, "opening " + file.string()));
    }
    auto unlockAndFail = [&](Error error) -> Status {
        sys.close(locked);
        return fail(std::move(error));
    };
    while (::flock(locked, LOCK_EX) != 0) {
        if (errno != EINTR) {
            return unlockAndFail(systemError(errno, "locking " + file.string()));
        }
    }
    struct stat held {};
    struct stat now {};
    if (::fstat(locked, &held) != 0 || !(FileIdentity::of(held) == identity) ||
        sys.stat(file.c_str(), &now) != 0 || !(FileIdentity::of(now) == identity)) {
        return unlockAndFail(Error{ErrorCode::Vanished, changedBehind});
    }
    // A spreadsheet program may have opened the workbook while it was written; its save would
    // later overwrite this one, or this one would pull the file from under it.
    if (auto status = checkLockFiles(file); !status) {
        return unlockAndFail(status.error());
    }
    std::filesystem::path backup;
    if (!options.backupSuffix.empty()) {
        backup = file.parent_path() / (file.filename().string() + options.backupSuffix);
        if (auto status = makeBackup(file, backup, before); !status) {
            return unlockAndFail(status.error());
        }
    }
    if (sys.rename(temporary.c_str(), file.c_str()) != 0) {
        const int error = errno;
        if (!backup.empty()) {
            sys.unlink(backup.c_str());
        }
        return unlockAndFail(systemError(error, "renaming over " + file.string()));
    }
    sys.close(locked);

    // The folder entry reaches the disk too; a file system that cannot sync folders is no error,
    // since the target is already replaced at this point.
    const int folder = sys.open(file.parent_path().empty() ? "." : file.parent_path().c_str(),
                                O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (folder >= 0) {
        sys.fsync(folder);
        sys.close(folder);
    }
    return Unit{};
}

} // namespace engine::package
