# The real program under Xvfb (and a JACK dummy server where it plays).
if(NOT TARGET tessivox)
  return()
endif()

set(WINDOW_ARTIFACTS "$ENV{TESSIVOX_ARTIFACTS}")
if(NOT WINDOW_ARTIFACTS)
  set(WINDOW_ARTIFACTS ${CMAKE_BINARY_DIR}/artifacts)
endif()

add_test(NAME e2e_window_no_audio_server
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/window_no_jack.sh $<TARGET_FILE:tessivox>
          $<TARGET_FILE:window_reference> ${WINDOW_ARTIFACTS})
set_tests_properties(e2e_window_no_audio_server PROPERTIES LABELS e2e TIMEOUT 60)

add_test(NAME e2e_window_play
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/window_play.sh $<TARGET_FILE:tessivox>
          $<TARGET_FILE:jack_midi_sender> $<TARGET_FILE:recording_check>
          $<TARGET_FILE:window_reference> ${WINDOW_ARTIFACTS})
set_tests_properties(e2e_window_play PROPERTIES LABELS e2e TIMEOUT 90)

add_test(NAME e2e_window_signals
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/window_signals.sh $<TARGET_FILE:tessivox>)
set_tests_properties(e2e_window_signals PROPERTIES LABELS e2e TIMEOUT 120)

if(TARGET ui_tests)
  add_test(NAME e2e_window_port_list
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/window_port_list.sh $<TARGET_FILE:ui_tests>)
  set_tests_properties(e2e_window_port_list PROPERTIES LABELS e2e TIMEOUT 90)
endif()

add_test(NAME e2e_window_command_line
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/window_command_line.sh $<TARGET_FILE:tessivox>
          ${PROJECT_VERSION})
set_tests_properties(e2e_window_command_line PROPERTIES LABELS e2e TIMEOUT 60)

add_test(NAME e2e_window_audio_server
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/window_audio_server.sh $<TARGET_FILE:tessivox>
          $<TARGET_FILE:jack_midi_sender> $<TARGET_FILE:recording_check>)
set_tests_properties(e2e_window_audio_server PROPERTIES LABELS e2e TIMEOUT 120)

add_test(NAME e2e_window_midi_source
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/window_midi_source.sh $<TARGET_FILE:tessivox>
          $<TARGET_FILE:jack_midi_sender> $<TARGET_FILE:recording_check>
          $<TARGET_FILE:window_reference>)
set_tests_properties(e2e_window_midi_source PROPERTIES LABELS e2e TIMEOUT 90)
