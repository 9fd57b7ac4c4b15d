# End-to-end tests of the audio stream and MIDI ports through a real JACK
# server, played by the headless host.
if(TARGET headless-host)
  foreach(name note no_devices port_change)
    add_test(NAME e2e_audio_midi_${name}
      COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/audio_midi_${name}.sh ${CMAKE_BINARY_DIR})
    set_tests_properties(e2e_audio_midi_${name} PROPERTIES LABELS e2e TIMEOUT 150)
  endforeach()
endif()
