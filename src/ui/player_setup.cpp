#include "ui/player_setup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "engine/controls.h"
#include "sound/file_beside.h"

namespace tessivox {

namespace {

// "learn_m", ..., "learn_release": the sliders' names in lower case.
std::string learnKey(size_t slider) {
    const std::string_view name = slider < kParamCount
                                      ? kParamSliders[slider].name
                                      : kEnvelopeSliders[slider - kParamCount].name;
    std::string key = "learn_";
    for (const char c : name) key += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return key;
}

}  // namespace

std::string playerSetupPath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    const std::string base =
        config && *config ? config : std::string(home ? home : "") + "/.config";
    return base + "/tessivox/player.conf";
}

PlayerSetup loadPlayerSetup() {
    PlayerSetup setup;
    std::ifstream in(playerSetupPath());
    for (std::string line; std::getline(in, line);) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq);
        char* end = nullptr;
        const long value = std::strtol(line.c_str() + eq + 1, &end, 10);
        if (end == line.c_str() + eq + 1 || *end != '\0') continue;
        if (key == "channel" && value >= 0 && value <= 16) setup.channel = static_cast<int>(value);
        if (key == "sustain_pedal" && (value == 0 || value == 1)) setup.sustainPedal = value == 1;
        for (size_t k = 0; k < setup.learned.size(); ++k) {
            if (key == learnKey(k) && learnableController(static_cast<int>(value)))
                setup.learned[k] = static_cast<int>(value);
        }
    }
    return setup;
}

bool savePlayerSetup(const PlayerSetup& setup) {
    std::ostringstream text;
    text << "# Tessivox: the player's set-up\nchannel=" << setup.channel
         << "\nsustain_pedal=" << (setup.sustainPedal ? 1 : 0) << "\n";
    for (size_t k = 0; k < setup.learned.size(); ++k) {
        if (setup.learned[k] >= 0) text << learnKey(k) << "=" << setup.learned[k] << "\n";
    }
    const std::string path = playerSetupPath();
    const std::string folder = path.substr(0, path.rfind('/'));
    mkdir(folder.substr(0, folder.rfind('/')).c_str(), 0777);
    mkdir(folder.c_str(), 0777);
    char beside[4096];
    const int fd = createBeside(path, plainCreateMode(), beside, sizeof beside);
    if (fd < 0) return false;
    const std::string bytes = text.str();
    const bool written =
        write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    const bool synced = fsync(fd) == 0;
    const bool closed = close(fd) == 0;
    if (written && synced && closed && std::rename(beside, path.c_str()) == 0) return true;
    unlink(beside);
    return false;
}

}  // namespace tessivox
