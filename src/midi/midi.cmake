pkg_check_modules(RTMIDI REQUIRED IMPORTED_TARGET rtmidi)

add_library(tessivox_midi STATIC midi/midi_input.cpp)
target_link_libraries(tessivox_midi PUBLIC tessivox_midi_rules PRIVATE PkgConfig::RTMIDI
                      tessivox_quiet)
