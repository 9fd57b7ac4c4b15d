# End-to-end tests of the audio stream and MIDI ports through a real JACK
# server, played by the headless host.
if(NOT TARGET headless-host)
  return()
endif()
if(TESSIVOX_TSAN)
  # The real callbacks on the JACK and audio threads while ports change.
  add_test(NAME tsan_audio_midi_port_change
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/audio_midi_port_change.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(tsan_audio_midi_port_change PROPERTIES LABELS tsan TIMEOUT 150
    ENVIRONMENT "SWITCHES=60;TSAN_OPTIONS=halt_on_error=1 exitcode=66 suppressions=${PROJECT_SOURCE_DIR}/tests/audio/tsan_suppressions.txt")
  # The threads that follow the server as it dies and comes back.
  add_test(NAME tsan_audio_midi_server_restart
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/audio_midi_server_restart.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(tsan_audio_midi_server_restart PROPERTIES LABELS tsan TIMEOUT 150
    ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1 exitcode=66 suppressions=${PROJECT_SOURCE_DIR}/tests/audio/tsan_suppressions.txt")
  return()
endif()
foreach(name note no_devices port_change sysex)
  add_test(NAME e2e_audio_midi_${name}
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/audio_midi_${name}.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(e2e_audio_midi_${name} PROPERTIES LABELS e2e TIMEOUT 150)
endforeach()
# A server at another rate: the output opens there and plays as the renderer does at it.
add_test(NAME e2e_audio_midi_note_48000
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/audio_midi_note.sh ${CMAKE_BINARY_DIR})
set_tests_properties(e2e_audio_midi_note_48000 PROPERTIES LABELS e2e TIMEOUT 150
  ENVIRONMENT JACK_RATE=48000)
