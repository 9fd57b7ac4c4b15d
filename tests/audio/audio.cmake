# Tests of the audio stream and the MIDI ports.

add_executable(tsan_stress audio/tsan_stress.cpp)
target_link_libraries(tsan_stress PRIVATE tessivox_midi_rules)
if(TESSIVOX_TSAN)
  add_test(NAME tsan_three_thread_stress COMMAND tsan_stress 20)
  set_tests_properties(tsan_three_thread_stress PROPERTIES
    LABELS tsan TIMEOUT 120
    ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1 exitcode=66 second_deadlock_stack=1")
endif()

if(TESSIVOX_FUZZ)
  return()
endif()

add_executable(headless-host audio/headless_host.cpp)
target_link_libraries(headless-host PRIVATE tessivox_audio tessivox_midi
                      tessivox_realtime_counter)

if(TESSIVOX_TSAN)
  return()
endif()

add_executable(audio_midi_tests
  audio/midi_byte_parser_test.cpp
  audio/delivery_gate_test.cpp
  audio/audio_midi_test.cpp)
target_link_libraries(audio_midi_tests PRIVATE tessivox_audio tessivox_midi
                      tessivox_realtime_counter GTest::gtest_main)
# No JACK server answers to this name, and none may be started for it.
gtest_discover_tests(audio_midi_tests
  PROPERTIES ENVIRONMENT "JACK_NO_START_SERVER=1;JACK_DEFAULT_SERVER=tessivox-nobody")

# A run shorter than CI's, for everyday builds.
add_test(NAME three_thread_stress_short COMMAND tsan_stress 2)
