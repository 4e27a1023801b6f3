// The system calls of safe saving, behind one table of function pointers so that tests can make
// any of them fail. The defaults are the POSIX calls themselves.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

namespace engine::package {

struct SysCalls {
    int (*open)(const char* path, int flags, mode_t mode);
    ssize_t (*write)(int fd, const void* data, size_t size);
    int (*fsync)(int fd);
    int (*fchmod)(int fd, mode_t mode);
    int (*fchown)(int fd, uid_t owner, gid_t group);
    int (*stat)(const char* path, struct stat* info);
    int (*rename)(const char* from, const char* to);
    int (*close)(int fd);
    int (*unlink)(const char* path);
    int (*access)(const char* path, int mode);
    int (*link)(const char* from, const char* to);
};

/// The calls in use. Tests replace entries and restore them (see SysCallsOverride in tests).
SysCalls& sysCalls();

} // namespace engine::package
