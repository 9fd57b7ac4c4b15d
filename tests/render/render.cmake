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

# Counts heap allocations while the frame loop and the MIDI rules run.
add_executable(render_alloc_test render/no_alloc_test.cpp)
target_link_libraries(render_alloc_test PRIVATE tessivox_midi_rules GTest::gtest_main)
target_link_options(render_alloc_test PRIVATE
  -Wl,--wrap=malloc,--wrap=calloc,--wrap=realloc,--wrap=aligned_alloc,--wrap=posix_memalign,--wrap=free)
gtest_discover_tests(render_alloc_test)
