#pragma once

#include "sound/sound.h"
#include "ui/player_setup.h"

class QWidget;

namespace tessivox {

// The "Playing" dialog: how the sound is played (its tuning, bend range,
// glide, velocity sensitivity and onset) and the player's set-up (sustain
// pedal, MIDI channel). Returns true with both changed when the user
// accepts; false leaves them as they were.
bool askPlaying(QWidget* parent, sound::Sound& sound, PlayerSetup& setup);

}  // namespace tessivox
