// Safe saving: the temporary file beside the target, its flush, and the rename over the target.
#include "package/output_file.h"

#include "engine/temporary_files.h"

#include "package/lock_files.h"
#include "package/sys_calls.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace engine::package {

constexpr std::string_view kTemporarySuffix = ".varnocliff-tmp";

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

constexpr std::size_t kNameMax = 255; // NAME_MAX of the file systems in use

// A name that folder scans skip (hidden), that tells a user where it came from, and that names
// the process writing it, so that a later run can tell a temporary file whose writer was
// killed: ".NAME.PID.RANDOM.varnocliff-tmp". A long NAME is shortened (at a character
// boundary) so that the whole fits in a file name, whatever the original's length.
std::filesystem::path temporaryName(const std::filesystem::path& target) {
    static thread_local std::mt19937_64 random(
        std::random_device{}() ^
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    constexpr std::string_view kDigits = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string suffix = "." + std::to_string(::getpid()) + ".";
    for (int i = 0; i < 8; ++i) {
        suffix.push_back(kDigits[random() % 36]);
    }
    suffix += kTemporarySuffix;
    std::string name = target.filename().string();
    const std::size_t room = kNameMax - 1 - suffix.size();
    if (name.size() > room) {
        std::size_t cut = room;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        name.resize(cut);
    }
    return target.parent_path() / ("." + name + suffix);
}

// The owner and group of `before` on the temporary file. The file a save creates belongs to
// whoever saves; keeping the original's owner needs the right to give files away (the
// superuser), its group membership of that group. Where neither is allowed the save fails
// rather than silently give the workbook to someone else.
Status keepOwner(int fd, const struct stat& before, const std::filesystem::path& file) {
    struct stat now {};
    if (::fstat(fd, &now) != 0) {
        return systemError(errno, file.string());
    }
    if (now.st_uid == before.st_uid && now.st_gid == before.st_gid) {
        return Unit{};
    }
    if (sysCalls().fchown(fd, before.st_uid, before.st_gid) == 0) {
        return Unit{};
    }
    return Error{ErrorCode::PermissionDenied,
                 file.string() + " belongs to user " + std::to_string(before.st_uid) +
                     " and group " + std::to_string(before.st_gid) +
                     "; a save by this user could not keep that owner"};
}

// Extended attributes (user.*, and security.* or trusted.* where this process may set them) and
// the POSIX ACLs, which the kernel keeps as system.posix_acl_* attributes, go to the new file:
// a save must not drop what another program or the administrator attached to the workbook.
// Called after the permission bits are set, since setting the ACL sets the group bits too.
Status copyAttributes(const std::filesystem::path& from, int to) {
    const int source = ::open(from.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (source < 0) {
        return systemError(errno, "reading the attributes of " + from.string());
    }
    auto finish = [&](Status status) {
        ::close(source);
        return status;
    };
    std::string names(1024, '\0');
    ssize_t length = 0;
    while ((length = ::flistxattr(source, names.data(), names.size())) < 0 && errno == ERANGE) {
        names.resize(names.size() * 4);
    }
    if (length < 0) {
        // A file system without extended attributes has none to lose.
        return finish(errno == ENOTSUP
                          ? Status{Unit{}}
                          : systemError(errno, "listing the attributes of " + from.string()));
    }
    names.resize(static_cast<std::size_t>(length));
    std::string value;
    for (std::size_t at = 0; at < names.size();) {
        const std::string name = names.c_str() + at;
        at += name.size() + 1;
        ssize_t size = ::fgetxattr(source, name.c_str(), nullptr, 0);
        value.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
        if (size > 0) {
            size = ::fgetxattr(source, name.c_str(), value.data(), value.size());
        }
        if (size < 0) {
            return finish(
                systemError(errno, "reading the attribute " + name + " of " + from.string()));
        }
        value.resize(static_cast<std::size_t>(size));
        if (::fsetxattr(to, name.c_str(), value.data(), value.size(), 0) != 0) {
            const bool optional = name.starts_with("security.") || name.starts_with("trusted.");
            if (optional && (errno == EPERM || errno == EACCES || errno == ENOTSUP)) {
                continue; // labels that only the system may set, which sets its own
            }
            return finish(Error{ErrorCode::PermissionDenied,
                                "the attribute " + name + " of " + from.string() +
                                    " could not be kept: " + std::strerror(errno)});
        }
    }
    return finish(Unit{});
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
    // A new file renamed over one name of a file with several would leave the other names
    // with the old content: the workbook would silently become two different files.
    if (before.st_nlink > 1) {
        return Error{ErrorCode::PermissionDenied,
                     file.string() + " has " + std::to_string(before.st_nlink) +
                         " hard links; saving it would split them into different files"};
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

    // Held until the file is closed: a later run removes a temporary file only when it can
    // take this lock and its writer is gone (removeStaleTemporaryFiles).
    (void)::flock(fd, LOCK_EX | LOCK_NB);

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
    if (auto status = keepOwner(fd, before, file); !status) {
        return fail(status.error());
    }
    if (sys.fchmod(fd, before.st_mode & 07777) != 0) {
        return fail(systemError(errno, "setting the permissions of " + temporary.string()));
    }
    if (auto status = copyAttributes(file, fd); !status) {
        return fail(status.error());
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

namespace engine {

std::size_t removeStaleTemporaryFiles(const std::filesystem::path& folder) {
    using package::kTemporarySuffix;
    std::size_t removed = 0;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (!name.starts_with('.') || !name.ends_with(kTemporarySuffix)) {
            continue;
        }
        // ".NAME.PID.RANDOM.varnocliff-tmp": the process id is the field before the random one.
        std::string_view stem(name);
        stem.remove_suffix(kTemporarySuffix.size());
        const auto randomDot = stem.rfind('.');
        const auto pidDot = randomDot == 0 || randomDot == std::string_view::npos
                                ? std::string_view::npos
                                : stem.rfind('.', randomDot - 1);
        if (pidDot == std::string_view::npos) {
            continue;
        }
        const std::string_view digits = stem.substr(pidDot + 1, randomDot - pidDot - 1);
        pid_t writer = 0;
        const auto [last, parseError] =
            std::from_chars(digits.data(), digits.data() + digits.size(), writer);
        if (parseError != std::errc() || last != digits.data() + digits.size() || writer <= 0) {
            continue;
        }
        if (::kill(writer, 0) == 0 || errno == EPERM) {
            continue; // the writer still runs (or another process took its id): not stale
        }
        const int fd = ::open(it->path().c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        // The lock is free only when no process holds the file open for writing it, which
        // also covers a writer on another machine sharing the folder.
        struct stat info {};
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &info) == 0 &&
            S_ISREG(info.st_mode) && ::unlink(it->path().c_str()) == 0) {
            ++removed;
        }
        ::close(fd);
    }
    return removed;
}

} // namespace engine
