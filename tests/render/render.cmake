add_executable(render_tests
  render/midi_file_test.cpp
  render/render_cli_test.cpp)
target_link_libraries(render_tests PRIVATE tessivox_midi_file tessivox_midi_rules
                      PkgConfig::SNDFILE GTest::gtest_main)
target_compile_definitions(render_tests PRIVATE
  TESSIVOX_RENDER_BIN="$<TARGET_FILE:tessivox-render>"
  TESSIVOX_DATA_DIR="${PROJECT_SOURCE_DIR}/data")
add_dependencies(render_tests tessivox-render)
gtest_discover_tests(render_tests)

# Counts heap calls while the frame loop and the MIDI rules run. The counter
# is switched off in sanitizer builds, where the test would prove nothing.
if(NOT TESSIVOX_TSAN AND NOT TESSIVOX_FUZZ)
  add_executable(render_alloc_test render/no_alloc_test.cpp)
  target_link_libraries(render_alloc_test PRIVATE tessivox_midi_rules tessivox_realtime_counter
                        GTest::gtest_main)
  gtest_discover_tests(render_alloc_test)
endif()
