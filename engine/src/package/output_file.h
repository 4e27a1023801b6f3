// Saving safely: a new file written beside the target, flushed, and renamed over it, so that a
// failure at any point leaves the target as it was. System calls go through sys_calls.h.
#pragma once

#include "engine/result.h"
#include "zip/zip_writer.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>

namespace engine::package {

/// The temporary file that replaceFileAtomically fills. Writes are buffered. It does not own
/// `fd`: replaceFileAtomically closes it.
class OutputFile : public zip::ByteSink {
public:
    OutputFile(int fd, std::filesystem::path path);
    ~OutputFile() override;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    /// Appends `bytes`. Errors: DiskFull when the disk or a file-size limit is reached, IoError.
    Status write(std::string_view bytes) override;
    /// Bytes written so far.
    std::uint64_t position() const override { return m_position; }
    /// Writes out the buffer and fsyncs the file.
    Status flush();
    const std::filesystem::path& path() const { return m_path; }

private:
    int m_fd;
    std::filesystem::path m_path;
    std::string m_buffer;
    std::uint64_t m_position = 0;
};

/// What tells a file from another that took its place under the same name: a save by rename
/// gives a new inode (which some file systems reuse at once), a rewrite in place a new size or
/// modification time, and ctime moves with any change the others miss.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    static FileIdentity of(const struct stat& info);
    bool operator==(const FileIdentity& other) const;
};

struct ReplaceOptions {
    /// When not empty, the original is kept beside it under its file name followed by this
    /// suffix ("book.xlsx" + ".orig"), made just before the rename: a hard link to it, or where
    /// the file system has none a copy with its permission bits and time stamps. An existing
    /// file of that name is never overwritten: the save fails instead (IoError naming it). When
    /// the save fails after the backup was made, the backup goes again.
    std::string backupSuffix;
    /// The identity of the file as it was read: a target that is no longer that file fails with
    /// Vanished instead of being overwritten. Without it, the file found when the save begins
    /// must stay.
    std::optional<FileIdentity> expected = std::nullopt;
};

/// Replaces `target` with what `write` puts into an OutputFile: creates a temporary file beside
/// `target` (same folder, so the rename stays on one file system), lets `write` fill it, fsyncs
/// it, gives it `target`'s permission bits (and owner, where allowed), renames it over `target` and
/// fsyncs the folder. A symbolic link is followed: the file it leads to is replaced and the link
/// kept. On any failure, the failure of `write` included, the temporary file is removed and
/// `target` is untouched. Refuses a target the user may not write ("permission denied"), even where
/// the folder would allow the rename, and a target that another program has open (lock files
/// are looked for before writing and again before the rename: LockedByOtherProgram).
/// The identity (options.expected, or the target as found when the save begins) is checked
/// last, right before the rename, under an exclusive advisory lock (flock) on the target that every
/// save of this program takes too, so two saves of one file cannot both pass the check. Errors:
/// NotFound/Vanished when `target` is gone or changed, PermissionDenied, DiskFull, IoError, or the
/// status `write` returned.
Status replaceFileAtomically(const std::filesystem::path& target,
                             const std::function<Status(OutputFile&)>& write,
                             const ReplaceOptions& options = {});

} // namespace engine::package
