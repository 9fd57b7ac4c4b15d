#include "sound/sound.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "sound/sound_files.h"

namespace tessivox::sound {

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool isFolder(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool inSound(uint32_t port) {
    return port < kPortCount && kPorts[port].type == lv2::PortType::Control &&
           !lv2::playersPort(port);
}

Sound startSound() {
    Sound sound;
    for (uint32_t port = 0; port < kPortCount; ++port) sound.values[port] = kPorts[port].start;
    return sound;
}

std::string userPresetFolder() {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        const passwd* user = getpwuid(getuid());
        home = user ? user->pw_dir : "/";
    }
    return std::string(home) + "/.lv2";
}

}  // namespace tessivox::sound
