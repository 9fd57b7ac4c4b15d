#pragma once

// The factory sounds: the plugin's bundle writes them as presets, and the
// browser page offers the same ones.

namespace tessivox::lv2 {

// Settings name ports by their symbols; the ports not named keep their defaults.
struct Preset {
    const char* slug;
    const char* label;
    const char* settings;
};

// A few sounds across the instrument's range, none of them clipping.
inline constexpr Preset kPresets[] = {
    {"pure-sine", "Pure sine",
     "m=4 n1=2 n2=2 n3=2 a=1 b=1 attack=900 decay=600 sustain=80 release=800"},
    {"reed-pluck", "Reed pluck",
     "m=5 n1=1.7 n2=1.7 n3=1.7 a=1 b=1 decay=350 sustain=0 release=150"},
    {"pad-sweep", "Pad sweep",
     "attack=1500 decay=2000 sustain=70 release=3000 "
     "trajectory=1 x_param=1 x_from=2 x_to=12 y_param=2 y_from=1 y_to=8"},
    {"growl", "Growl",
     "m=3 n1=1 n2=1 n3=1 a=1 b=1 attack=600 decay=1200 sustain=60 release=600 "
     "trajectory=1 x_param=5 x_from=0.6 x_to=1 y_param=3 y_from=0.5 y_to=1.5 p4_x=300 p4_y=300"},
    // A lead to play: in tune, bends a whole tone, slides between held keys,
    // answers the touch and speaks at once.
    {"glide-lead", "Glide lead",
     "m=5 n1=1.5 n2=1.2 n3=1.2 a=1 b=1 decay=800 sustain=70 release=250 tuning=1 "
     "bend_range=2 glide_time=0.12 glide_mode=1 velocity=0.6 onset=1"},
};

}  // namespace tessivox::lv2
