#pragma once

// A sound: what the plugin's control inputs hold, kept as an LV2 preset of
// the plugin, so the window, the renderer and every lilv host share it.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sound/ports.h"

namespace tessivox::sound {

// Whether a port of the plugin's table belongs to a sound: every control
// input but the MIDI channel, which is how a host routes a track, not a sound.
bool inSound(uint32_t port);


struct Sound {
    std::string name;
    // By port index; ports outside the sound keep their start values.
    std::array<float, lv2::kPortCount> values{};
};

// Every port at its start value.
Sound startSound();

struct Entry {
    std::string name;
    std::string uri;
    bool factory = false;  // from the plugin's bundle, not saved by a user
    int64_t savedAt = 0;   // the preset file's time, in ns
};

// The plugin's presets lilv hosts see, the factory ones first, each group in
// name order; of several with one name, the one saved last first: it is the
// one a name loads and a save replaces.
std::vector<Entry> listSounds();

// NAME-OR-FILE: an existing file is read as a preset file; anything else is
// looked up by name. On failure, nullopt and one line in `error`.
std::optional<Sound> loadSound(const std::string& nameOrFile, std::string& error);
std::optional<Sound> loadSoundEntry(const Entry& entry, std::string& error);

// The folder lilv hosts read user presets from: $HOME/.lv2.
std::string userPresetFolder();

enum class SaveResult { Saved, NameTaken, FactoryName, Failed };

// Writes `sound` as a preset under userPresetFolder(), as its own bundle.
// NameTaken (nothing written) when a user sound of that name exists and
// `replace` is false; FactoryName when a factory sound has it; Failed with
// one line in `error`, nothing changed.
// `path` gets the preset file's path.
SaveResult saveSound(const Sound& sound, bool replace, std::string& error,
                     std::string* path = nullptr);

// Removes the user's own sound of that name; false with one line in `error`
// when there is none (a factory sound, or one another program wrote).
bool deleteSound(const std::string& name, std::string& error);

// Saved at every quit, offered first when opening.
inline constexpr const char* kLastSessionName = "Last session";

}  // namespace tessivox::sound
