pkg_check_modules(RTMIDI REQUIRED IMPORTED_TARGET rtmidi)

# ALSA sequencer ports through RtMidi, JACK ports through the JACK library.
add_library(tessivox_midi STATIC midi/midi_input.cpp)
target_link_libraries(tessivox_midi PUBLIC tessivox_midi_rules PRIVATE PkgConfig::RTMIDI
                      PkgConfig::JACK tessivox_quiet)
