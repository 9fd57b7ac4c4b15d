#pragma once

#include <string>

#include "picture/controller_learn.h"

namespace tessivox {

// The player's own set-up, not part of any sound, kept in one small file
// under the user's configuration folder. Without the file everything is at
// its start value.
struct PlayerSetup {
    int channel = 1;  // 1 to 16, or 0: every channel
    bool sustainPedal = false;
    // The controller each of the ten sliders follows (the six parameters,
    // then attack, decay, sustain, release), or -1.
    LearnedControllers learned{-1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
};

// $XDG_CONFIG_HOME/tessivox/player.conf, or ~/.config/tessivox/player.conf.
std::string playerSetupPath();
// Lines it does not understand are passed over.
PlayerSetup loadPlayerSetup();
// Written whole beside the old file, then put in its place. False on failure.
bool savePlayerSetup(const PlayerSetup& setup);

}  // namespace tessivox
