# libFuzzer run over the MIDI file reader (clang only).
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "TESSIVOX_FUZZ needs clang: configure with CXX=clang++")
endif()

add_executable(midi_file_fuzz fuzz/midi_file_fuzz.cpp ${PROJECT_SOURCE_DIR}/tools/midi_file.cpp)
target_include_directories(midi_file_fuzz PRIVATE ${PROJECT_SOURCE_DIR}/tools)
target_link_libraries(midi_file_fuzz PRIVATE tessivox_midi_rules)
target_compile_options(midi_file_fuzz PRIVATE
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -g)
target_link_options(midi_file_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)

# New inputs go to the build tree; the committed seeds and demo files are read only.
set(MIDI_FUZZ_CORPUS ${CMAKE_CURRENT_BINARY_DIR}/midi_file_fuzz_corpus)
file(MAKE_DIRECTORY ${MIDI_FUZZ_CORPUS})
add_test(NAME midi_file_fuzz
  COMMAND midi_file_fuzz -max_total_time=30 -max_len=4096 -timeout=10 -rss_limit_mb=2048
          -print_final_stats=1 -dict=${CMAKE_CURRENT_SOURCE_DIR}/fuzz/midi.dict
          -artifact_prefix=${CMAKE_CURRENT_BINARY_DIR}/midi_file_fuzz-
          ${MIDI_FUZZ_CORPUS} ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/corpus ${PROJECT_SOURCE_DIR}/data)
set_tests_properties(midi_file_fuzz PROPERTIES LABELS fuzz TIMEOUT 120)
