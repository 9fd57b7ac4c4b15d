pkg_check_modules(ALSA REQUIRED IMPORTED_TARGET GLOBAL alsa)
pkg_check_modules(JACK REQUIRED IMPORTED_TARGET GLOBAL jack)

# Shared by the audio stream and the MIDI ports: quiet libraries, and the
# order in which JACK clients may be opened.
add_library(tessivox_quiet STATIC audio/quiet_libraries.cpp audio/jack_clients.cpp)
target_include_directories(tessivox_quiet PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tessivox_quiet PUBLIC PkgConfig::ALSA PkgConfig::JACK)

add_library(tessivox_audio STATIC audio/audio_stream.cpp)
target_link_libraries(tessivox_audio PUBLIC tessivox_engine PkgConfig::PORTAUDIO
                      PRIVATE tessivox_quiet)
