// The default system calls of safe saving: the POSIX functions themselves.
#include "package/sys_calls.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace engine::package {

namespace {

int openFile(const char* path, int flags, mode_t mode) {
    return ::open(path, flags, mode);
}

} // namespace

SysCalls& sysCalls() {
    static SysCalls calls{openFile, ::write, ::fsync,  ::fchmod, ::fchown, ::stat,
                          ::rename, ::close, ::unlink, ::access, ::link};
    return calls;
}

} // namespace engine::package
