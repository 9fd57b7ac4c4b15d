#pragma once

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace tessivox {

// A file is written whole beside its place and then renamed over it, so a
// reader never sees half of it. These are the steps both writers share.

// The mode a plain create gives a new file: 0666 less the umask.
inline mode_t plainCreateMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// A new file beside `target` (its name and six random characters: the same
// folder, so the rename stays on one file system) with `mode`, which replaces
// the private one a unique create gives. Its path goes into `path` (`size`
// bytes, so that a signal handler may read it). Returns the descriptor, or -1
// with errno set.
inline int createBeside(const std::string& target, mode_t mode, char* path, size_t size) {
    if (target.size() + 7 >= size) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(path, target.c_str(), target.size());
    std::memcpy(path + target.size(), ".XXXXXX", 8);
    const int fd = mkstemp(path);
    if (fd >= 0) fchmod(fd, mode);
    return fd;
}

}  // namespace tessivox
