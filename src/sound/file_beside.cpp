#include "sound/file_beside.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace tessivox {

mode_t plainCreateMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

int createBeside(const std::string& target, mode_t mode, char* path, size_t size) {
    const std::string pattern = target + ".XXXXXX";
    if (pattern.size() >= size) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(path, pattern.c_str(), pattern.size() + 1);
    const int fd = mkstemp(path);
    if (fd >= 0) fchmod(fd, mode);
    return fd;
}

}  // namespace tessivox
