# run() of the LV2 plugin against the program's frame loop.
if(NOT TARGET tessivox_lv2)
  return()
endif()
add_executable(plugin_bench plugin_bench.cpp)
target_include_directories(plugin_bench PRIVATE ${PROJECT_SOURCE_DIR}/plugin ${LV2_INCLUDE_DIRS})
target_link_libraries(plugin_bench PRIVATE tessivox_midi_rules benchmark::benchmark
                      ${CMAKE_DL_LIBS})
target_compile_definitions(plugin_bench PRIVATE
  TESSIVOX_LV2_BINARY="$<TARGET_FILE:tessivox_lv2>")
add_dependencies(plugin_bench tessivox_lv2)
