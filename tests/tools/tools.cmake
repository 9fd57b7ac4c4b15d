# Helper programs of the end-to-end tests: a JACK MIDI source, the analyser
# of their recordings, and for the window tests a close box and reference
# pictures.
if(TESSIVOX_FUZZ)
  return()
endif()

add_executable(jack_midi_sender tools/jack_midi_sender.cpp)
target_link_libraries(jack_midi_sender PRIVATE PkgConfig::JACK)

if(TESSIVOX_TSAN)
  return()
endif()

add_executable(recording_check tools/recording_check.cpp)
target_link_libraries(recording_check PRIVATE tessivox_midi_rules PkgConfig::SNDFILE)

if(TESSIVOX_GUI)
  find_package(X11 REQUIRED)
  add_executable(close_window tools/close_window.cpp)
  target_link_libraries(close_window PRIVATE X11::X11)
  add_executable(window_reference tools/window_reference.cpp)
  target_link_libraries(window_reference PRIVATE tessivox_ui)
endif()
