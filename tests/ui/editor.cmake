# Widget tests of the axis buttons, the envelope pad editor and the help texts.
# They run on Qt's offscreen platform: no display needed.
find_package(Qt6 REQUIRED COMPONENTS Test)
add_executable(editor_widget_tests
  ui/editor_main.cpp
  ui/editor_axis_test.cpp
  ui/editor_pad_test.cpp
  ui/editor_help_test.cpp)
target_link_libraries(editor_widget_tests PRIVATE tessivox_ui GTest::gtest Qt6::Test)
gtest_discover_tests(editor_widget_tests
  PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" LABELS "ui"
  DISCOVERY_TIMEOUT 30)

# Helpers of the end-to-end test: a JACK MIDI keyboard, a close box for a
# bare X server, and the check of a recording against the engine.
pkg_check_modules(EDITOR_RTMIDI REQUIRED IMPORTED_TARGET rtmidi)
add_executable(editor_midi_keys ui/editor_midi_keys.cpp)
target_link_libraries(editor_midi_keys PRIVATE PkgConfig::EDITOR_RTMIDI)

find_package(X11 REQUIRED)
add_executable(editor_close_window ui/editor_close_window.cpp)
target_link_libraries(editor_close_window PRIVATE X11::X11)

pkg_check_modules(EDITOR_SNDFILE REQUIRED IMPORTED_TARGET sndfile)
add_executable(editor_check_recording ui/editor_check_recording.cpp)
target_link_libraries(editor_check_recording PRIVATE tessivox_midi_rules PkgConfig::EDITOR_SNDFILE)
