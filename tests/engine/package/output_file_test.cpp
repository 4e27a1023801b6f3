// Safe saving under every failure we can cause: each one gives a clear code, leaves the original
// byte-for-byte as it was and leaves no temporary file behind.
#include "package/output_file.h"

#include "../zip/test_archive.h"
#include "engine/temporary_files.h"
#include "package/sys_calls.h"

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace engine;
using namespace engine::package;
using engine::zip::test_support::readFile;
using engine::zip::test_support::TempFolder;
using engine::zip::test_support::writeFile;
namespace fs = std::filesystem;

namespace {

const std::string kOriginal = "the original workbook bytes";

// Replaces some system calls for one test and restores them afterwards.
class SysCallsOverride {
public:
    SysCallsOverride() : m_saved(sysCalls()) {}
    ~SysCallsOverride() { sysCalls() = m_saved; }
    SysCallsOverride(const SysCallsOverride&) = delete;
    SysCallsOverride& operator=(const SysCallsOverride&) = delete;

private:
    SysCalls m_saved;
};

std::vector<std::string> folderNames(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(folder)) {
        names.push_back(item.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Three megabytes, so that the output buffer is written out before the final flush.
Status writeBig(OutputFile& out) {
    const std::string block(std::size_t{64} * 1024, 'n');
    for (int i = 0; i < 48; ++i) {
        if (auto status = out.write(block); !status) {
            return status;
        }
    }
    return Unit{};
}

TEST(ReplaceFileAtomically, ReplacesContentKeepingPermissions) {
    TempFolder folder;
    const fs::path target = folder / "book.xlsx";
    writeFile(target, kOriginal);
    fs::permissions(target, fs::perms(0640));
    struct stat before {};
    ASSERT_EQ(::stat(target.c_str(), &before), 0);

    std::uint64_t position = 0;
    auto status = replaceFileAtomically(target, [&](OutputFile& out) -> Status {
        if (auto written = writeBig(out); !written) {
            return written;
        }
        position = out.position();
        return out.write("tail");
    });
    ASSERT_TRUE(status) << status.error().detail;
    EXPECT_EQ(position, 48U * 64 * 1024);
    const std::string now = readFile(target);
    EXPECT_EQ(now.size(), position + 4);
    EXPECT_EQ(now.substr(now.size() - 5), "ntail");
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(0640));
    struct stat after {};
    ASSERT_EQ(::stat(target.c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino) << "a new file renamed over the old one";
    EXPECT_EQ(folderNames(folder.path()), std::vector<std::string>{"book.xlsx"});
}

struct Fault {
    const char* label;
    std::function<void()> arrange;                                   ///< hooks system calls
    std::function<Status(const fs::path& target, OutputFile&)> fill; ///< the writer
    ErrorCode expected;
    std::optional<std::string> targetAfter = kOriginal; ///< nullopt: the target is gone
};

void PrintTo(const Fault& value, std::ostream* out) {
    *out << value.label;
}

class ReplaceFileFault : public ::testing::TestWithParam<Fault> {};

TEST_P(ReplaceFileFault, FailsClearlyAndLeavesNoTrace) {
    const Fault& fault = GetParam();
    TempFolder folder;
    const fs::path target = folder / "book.xlsx";
    writeFile(target, kOriginal);
    SysCallsOverride restore;
    fault.arrange();
    auto status =
        replaceFileAtomically(target, [&](OutputFile& out) { return fault.fill(target, out); });
    ASSERT_FALSE(status);
    EXPECT_EQ(status.error().code, fault.expected) << status.error().detail;
    EXPECT_FALSE(status.error().detail.empty());
    if (fault.targetAfter) {
        EXPECT_EQ(readFile(target), *fault.targetAfter);
        EXPECT_EQ(folderNames(folder.path()), std::vector<std::string>{"book.xlsx"});
    } else {
        EXPECT_TRUE(folderNames(folder.path()).empty());
    }
}

Status fillBig(const fs::path& /*target*/, OutputFile& out) {
    return writeBig(out);
}

int failCreate(const char* path, int flags, mode_t mode) {
    if ((flags & O_CREAT) != 0) {
        errno = EACCES;
        return -1;
    }
    return ::open(path, flags, mode);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ReplaceFileFault,
    ::testing::Values(
        Fault{"ReadOnlyFile",
              [] { sysCalls().access = [](const char*, int) { return errno = EACCES, -1; }; },
              fillBig, ErrorCode::PermissionDenied},
        // The folder refuses new files: no temporary file can be made beside the target.
        Fault{"ReadOnlyFolder", [] { sysCalls().open = failCreate; }, fillBig,
              ErrorCode::PermissionDenied},
        Fault{"DiskFullWhileWriting",
              [] {
                  sysCalls().write = [](int, const void*, size_t) -> ssize_t {
                      return errno = ENOSPC, -1;
                  };
              },
              fillBig, ErrorCode::DiskFull},
        Fault{"DiskFullAtTheLastFlush",
              [] {
                  sysCalls().write = [](int, const void*, size_t) -> ssize_t {
                      return errno = ENOSPC, -1;
                  };
              },
              [](const fs::path&, OutputFile& out) { return out.write("small"); },
              ErrorCode::DiskFull},
        Fault{"FsyncFails", [] { sysCalls().fsync = [](int) { return errno = EIO, -1; }; }, fillBig,
              ErrorCode::IoError},
        Fault{"PermissionsCannotBeKept",
              [] { sysCalls().fchmod = [](int, mode_t) { return errno = EPERM, -1; }; }, fillBig,
              ErrorCode::PermissionDenied},
        Fault{
            "RenameRefused",
            [] { sysCalls().rename = [](const char*, const char*) { return errno = EACCES, -1; }; },
            fillBig, ErrorCode::PermissionDenied},
        Fault{"WriterFails", [] {},
              [](const fs::path&, OutputFile& out) -> Status {
                  (void)writeBig(out);
                  return Error{ErrorCode::Corrupt, "xl/sharedStrings.xml"};
              },
              ErrorCode::Corrupt},
        Fault{"TargetDeletedMeanwhile", [] {},
              [](const fs::path& target, OutputFile& out) {
                  fs::remove(target);
                  return writeBig(out);
              },
              ErrorCode::Vanished, std::nullopt},
        // Another program saved a new file under the name: its work must survive.
        Fault{"TargetReplacedMeanwhile", [] {},
              [](const fs::path& target, OutputFile& out) {
                  fs::remove(target);
                  writeFile(target, "saved by another program");
                  return writeBig(out);
              },
              ErrorCode::Vanished, std::string("saved by another program")}),
    [](const auto& test) { return std::string(test.param.label); });

TEST(ReplaceFileAtomically, ReadOnlyModeBitsAreRefusedEvenForTheSuperuser) {
    TempFolder folder;
    const fs::path target = folder / "book.xlsx";
    writeFile(target, kOriginal);
    fs::permissions(target, fs::perms(0444));
    auto status = replaceFileAtomically(target, [](OutputFile& out) { return writeBig(out); });
    ASSERT_FALSE(status);
    EXPECT_EQ(status.error().code, ErrorCode::PermissionDenied);
    EXPECT_EQ(readFile(target), kOriginal);
    EXPECT_EQ(folderNames(folder.path()), std::vector<std::string>{"book.xlsx"});
}

// A lock file present from the start, or one that appears while the new file is written.
class ReplaceFileLocked : public ::testing::TestWithParam<bool> {};

TEST_P(ReplaceFileLocked, FailsNamingTheLockFile) {
    const bool duringWrite = GetParam();
    TempFolder folder;
    const fs::path target = folder / "book.xlsx";
    writeFile(target, kOriginal);
    if (!duringWrite) {
        writeFile(folder / "~$book.xlsx", "owner");
    }
    auto status = replaceFileAtomically(target, [&](OutputFile& out) {
        if (duringWrite) {
            writeFile(folder / ".~lock.book.xlsx#", "owner");
        }
        return writeBig(out);
    });
    ASSERT_FALSE(status);
    EXPECT_EQ(status.error().code, ErrorCode::LockedByOtherProgram);
    const std::string lock = duringWrite ? ".~lock.book.xlsx#" : "~$book.xlsx";
    EXPECT_NE(status.error().detail.find(lock), std::string::npos) << status.error().detail;
    EXPECT_EQ(readFile(target), kOriginal);
    std::vector<std::string> expected{lock, "book.xlsx"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(folderNames(folder.path()), expected);
}

INSTANTIATE_TEST_SUITE_P(BeforeAndDuringTheWrite, ReplaceFileLocked, ::testing::Bool());

TEST(ReplaceFileAtomically, SymbolicLinkKeepsLeadingToTheReplacedFile) {
    TempFolder folder;
    fs::create_directory(folder / "real");
    writeFile(folder / "real" / "book.xlsx", kOriginal);
    fs::create_symlink(folder / "real" / "book.xlsx", folder / "link.xlsx");
    auto status = replaceFileAtomically(folder / "link.xlsx",
                                        [](OutputFile& out) { return out.write("new"); });
    ASSERT_TRUE(status) << status.error().detail;
    EXPECT_TRUE(fs::is_symlink(folder / "link.xlsx"));
    EXPECT_EQ(readFile(folder / "real" / "book.xlsx"), "new");
    EXPECT_EQ(folderNames(folder / "real"), std::vector<std::string>{"book.xlsx"});
}

// The backup is the original, bytes, permission bits and modification time alike, whether it
// is a hard link or (where the file system has none) a copy.
class Backup : public ::testing::TestWithParam<bool> {};

TEST_P(Backup, KeepsTheOriginalBesideTheSavedFile) {
    const bool linksRefused = GetParam();
    TempFolder folder;
    const fs::path target = folder / "book.xlsx";
    writeFile(target, kOriginal);
    fs::permissions(target, fs::perms(0640));
    const auto modified = fs::file_time_type::clock::now() - std::chrono::hours(50);
    fs::last_write_time(target, modified);
    SysCallsOverride restore;
    if (linksRefused) {
        sysCalls().link = [](const char*, const char*) { return errno = EXDEV, -1; };
    }
    auto status =
        replaceFileAtomically(target, [](OutputFile& out) { return out.write("new"); }, {".orig"});
    ASSERT_TRUE(status) << status.error().detail;
    const fs::path backup = folder / "book.xlsx.orig";
    EXPECT_EQ(readFile(target), "new");
    EXPECT_EQ(readFile(backup), kOriginal);
    EXPECT_EQ(fs::status(backup).permissions(), fs::perms(0640));
    EXPECT_EQ(fs::last_write_time(backup), modified);
    EXPECT_EQ(fs::hard_link_count(backup), 1U);
}

INSTANTIATE_TEST_SUITE_P(LinkOrCopy, Backup, ::testing::Bool(),
                         [](const auto& p) { return p.param ? "Copy" : "HardLink"; });

TEST(Backup, ExistingBackupIsNeverOverwrittenAndFailsTheSave) {
    for (const bool linksRefused : {false, true}) {
        TempFolder folder;
        const fs::path target = folder / "book.xlsx";
        writeFile(target, kOriginal);
        writeFile(folder / "book.xlsx.orig", "an older backup");
        SysCallsOverride restore;
        if (linksRefused) {
            sysCalls().link = [](const char*, const char*) { return errno = EXDEV, -1; };
        }
        auto status = replaceFileAtomically(
            target, [](OutputFile& out) { return out.write("new"); }, {".orig"});
        ASSERT_FALSE(status);
        EXPECT_EQ(status.error().code, ErrorCode::IoError);
        EXPECT_NE(status.error().detail.find("book.xlsx.orig exists already"), std::string::npos)
            << status.error().detail;
        EXPECT_EQ(readFile(target), kOriginal);
        EXPECT_EQ(readFile(folder / "book.xlsx.orig"), "an older backup");
        EXPECT_EQ(folderNames(folder.path()),
                  (std::vector<std::string>{"book.xlsx", "book.xlsx.orig"}));
    }
}

TEST(Backup, FailedSaveLeavesNone) {
    TempFolder folder;
    const fs::path target = folder / "book.xlsx";
    writeFile(target, kOriginal);
    SysCallsOverride restore;
    sysCalls().rename = [](const char*, const char*) { return errno = EACCES, -1; };
    auto status =
        replaceFileAtomically(target, [](OutputFile& out) { return out.write("new"); }, {".orig"});
    ASSERT_FALSE(status);
    EXPECT_EQ(folderNames(folder.path()), std::vector<std::string>{"book.xlsx"});
    EXPECT_EQ(readFile(target), kOriginal);
}

TEST(ReplaceFileAtomically, KeepsTheOwnerWhereAllowed) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only the superuser can give a file to another owner";
    }
    TempFolder folder;
    const fs::path target = folder / "book.xlsx";
    writeFile(target, kOriginal);
    ASSERT_EQ(::chown(target.c_str(), 1234, 5678), 0);
    ASSERT_TRUE(replaceFileAtomically(target, [](OutputFile& out) { return out.write("new"); }));
    struct stat after {};
    ASSERT_EQ(::stat(target.c_str(), &after), 0);
    EXPECT_EQ(after.st_uid, 1234U);
    EXPECT_EQ(after.st_gid, 5678U);
}

// Fault: a user who may write a group-writable file but not give it away became its owner
// without a word. Here fchown fails as it does for such a user.
TEST(ReplaceFileAtomically, OwnerThatCannotBeKeptFailsTheSave) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "a file of another owner is needed, which only the superuser can make";
    }
    TempFolder folder;
    const fs::path target = folder / "book.xlsx";
    writeFile(target, kOriginal);
    ASSERT_EQ(::chown(target.c_str(), 1234, 5678), 0);
    SysCallsOverride restore;
    sysCalls().fchown = [](int, uid_t, gid_t) {
        errno = EPERM;
        return -1;
    };
    auto status = replaceFileAtomically(target, [](OutputFile& out) { return out.write("new"); });
    ASSERT_FALSE(status) << "the owner changed silently";
    EXPECT_EQ(status.error().code, ErrorCode::PermissionDenied);
    EXPECT_NE(status.error().detail.find("belongs to user 1234"), std::string::npos);
    EXPECT_EQ(readFile(target), kOriginal);
    EXPECT_EQ(folderNames(folder.path()), std::vector<std::string>{"book.xlsx"});
}

// Fault: the temporary name added 25 bytes, so a name of more than 230 bytes could not be
// saved ("File name too long"). Names up to the longest a file system allows, multibyte too.
TEST(ReplaceFileAtomically, LongestNamesAreSaved) {
    std::string japanese = std::string(100, 'n');
    for (int i = 0; i < 50; ++i) {
        japanese += "\xE6\x97\xA5"; // cut in the middle of these where the name is shortened
    }
    for (const std::string& name : {std::string(250, 'n') + ".xlsx", japanese + ".xlsx"}) {
        ASSERT_EQ(name.size(), 255U);
        TempFolder folder;
        const fs::path target = folder / name;
        writeFile(target, kOriginal);
        auto status =
            replaceFileAtomically(target, [](OutputFile& out) { return out.write("new"); });
        ASSERT_TRUE(status) << status.error().detail;
        EXPECT_EQ(readFile(target), "new");
        EXPECT_EQ(folderNames(folder.path()).size(), 1U);
    }
}

// Fault: extended attributes and POSIX ACLs were dropped, and the group's rights that an ACL
// mask gave became plain group bits.
TEST(ReplaceFileAtomically, ExtendedAttributesAndAclsAreKept) {
    TempFolder folder;
    const fs::path target = folder / "book.xlsx";
    writeFile(target, kOriginal);
    if (::setxattr(target.c_str(), "user.origin", "scanner", 7, 0) != 0) {
        GTEST_SKIP() << "this file system holds no user attributes";
    }
    // An access ACL (the kernel's xattr form): owner rw, user 4321 rw, group r, mask rw,
    // others none.
    std::string acl;
    auto put = [&acl](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            acl.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
        }
    };
    put(2, 4);
    for (const auto& [tag, perm, id] :
         std::vector<std::array<std::uint32_t, 3>>{{0x01, 6, 0xffffffff},
                                                   {0x02, 6, 4321},
                                                   {0x04, 4, 0xffffffff},
                                                   {0x10, 6, 0xffffffff},
                                                   {0x20, 0, 0xffffffff}}) {
        put(tag, 2);
        put(perm, 2);
        put(id, 4);
    }
    const bool withAcl =
        ::setxattr(target.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) == 0;
    struct stat before {};
    ASSERT_EQ(::stat(target.c_str(), &before), 0);

    ASSERT_TRUE(replaceFileAtomically(target, [](OutputFile& out) { return out.write("new"); }));
    char value[64] = {};
    EXPECT_EQ(::getxattr(target.c_str(), "user.origin", value, sizeof value), 7);
    EXPECT_EQ(std::string(value), "scanner");
    struct stat after {};
    ASSERT_EQ(::stat(target.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode, before.st_mode);
    if (withAcl) {
        std::string kept(acl.size() + 16, '\0');
        const auto size =
            ::getxattr(target.c_str(), "system.posix_acl_access", kept.data(), kept.size());
        ASSERT_GT(size, 0) << "the ACL was dropped";
        kept.resize(static_cast<std::size_t>(size));
        EXPECT_EQ(kept, acl);
    }
}

// A file with two names would become two files, one changed and one not: refused instead.
TEST(ReplaceFileAtomically, HardLinkedFileIsRefused) {
    TempFolder folder;
    const fs::path target = folder / "book.xlsx";
    writeFile(target, kOriginal);
    fs::create_hard_link(target, folder / "other.xlsx");
    auto status = replaceFileAtomically(target, [](OutputFile& out) { return out.write("new"); });
    ASSERT_FALSE(status);
    EXPECT_NE(status.error().detail.find("2 hard links"), std::string::npos);
    EXPECT_EQ(readFile(target), kOriginal);
    EXPECT_EQ(readFile(folder / "other.xlsx"), kOriginal);
}

// Temporary files of a killed save go with the next run over the folder; those of a save
// still running, and anything else, stay.
TEST(RemoveStaleTemporaryFiles, RemovesOnlyThoseWhoseWriterIsGone) {
    TempFolder folder;
    writeFile(folder / "book.xlsx", kOriginal);
    const pid_t gone = ::fork();
    ASSERT_GE(gone, 0);
    if (gone == 0) {
        ::_exit(0);
    }
    ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
    const std::string stale = ".book.xlsx." + std::to_string(gone) + ".abcdefgh.varnocliff-tmp";
    const std::string running =
        ".book.xlsx." + std::to_string(::getpid()) + ".abcdefgh.varnocliff-tmp";
    for (const auto& name : {stale, running, std::string(".notes.varnocliff-tmp")}) {
        writeFile(folder / name, "partial");
    }
    EXPECT_EQ(engine::removeStaleTemporaryFiles(folder.path()), 1U);
    EXPECT_EQ(folderNames(folder.path()),
              (std::vector<std::string>{running, ".notes.varnocliff-tmp", "book.xlsx"}));
}

TEST(ReplaceFileAtomically, MissingTargetIsNotFound) {
    TempFolder folder;
    auto status =
        replaceFileAtomically(folder / "none.xlsx", [](OutputFile& out) { return out.write("x"); });
    ASSERT_FALSE(status);
    EXPECT_EQ(status.error().code, ErrorCode::NotFound);
    EXPECT_TRUE(folderNames(folder.path()).empty());
}

// A real full disk, made with a file-size limit in a child process so that the limit does not
// reach other tests.
TEST(ReplaceFileAtomically, FileSizeLimitIsDiskFull) {
    TempFolder folder;
    const fs::path target = folder / "book.xlsx";
    writeFile(target, kOriginal);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Without this the kernel ends the process with SIGXFSZ instead of failing the write.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1U << 20, 1U << 20};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        auto status = replaceFileAtomically(target, [](OutputFile& out) { return writeBig(out); });
        ::_exit(status ? 100 : static_cast<int>(status.error().code));
    }
    int result = 0;
    ASSERT_EQ(::waitpid(child, &result, 0), child);
    ASSERT_TRUE(WIFEXITED(result));
    EXPECT_EQ(WEXITSTATUS(result), static_cast<int>(ErrorCode::DiskFull));
    EXPECT_EQ(readFile(target), kOriginal);
    EXPECT_EQ(folderNames(folder.path()), std::vector<std::string>{"book.xlsx"});
}

} // namespace
