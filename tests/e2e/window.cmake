# The real program under Xvfb (and a JACK dummy server where it plays).
if(NOT TARGET tessivox)
  return()
endif()
find_package(Qt6 REQUIRED COMPONENTS Widgets)
pkg_check_modules(WINDOW_SNDFILE REQUIRED IMPORTED_TARGET sndfile)
add_executable(window_recording_check ui/window_recording_check.cpp)
target_link_libraries(window_recording_check PRIVATE PkgConfig::WINDOW_SNDFILE)
add_executable(window_reference_box ui/window_reference_box.cpp)
target_link_libraries(window_reference_box PRIVATE Qt6::Widgets)

set(WINDOW_ARTIFACTS "$ENV{TESSIVOX_ARTIFACTS}")
if(NOT WINDOW_ARTIFACTS)
  set(WINDOW_ARTIFACTS ${CMAKE_BINARY_DIR}/artifacts)
endif()

add_test(NAME e2e_window_no_audio_server
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/window_no_jack.sh $<TARGET_FILE:tessivox>
          $<TARGET_FILE:window_reference_box> ${WINDOW_ARTIFACTS})
set_tests_properties(e2e_window_no_audio_server PROPERTIES LABELS e2e TIMEOUT 60)

if(TARGET jack_midi_sender)
  add_test(NAME e2e_window_play
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/window_play.sh $<TARGET_FILE:tessivox>
            $<TARGET_FILE:jack_midi_sender> $<TARGET_FILE:window_recording_check>
            ${WINDOW_ARTIFACTS})
  set_tests_properties(e2e_window_play PROPERTIES LABELS e2e TIMEOUT 90)
endif()
