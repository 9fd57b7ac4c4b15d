# The LV2 plugin in hosts: the LV2 tools on the bundle, and a lilv host
# against tessivox-render and the engine.
if(NOT TARGET tessivox_lv2 OR TESSIVOX_TSAN OR TESSIVOX_FUZZ)
  return()
endif()
pkg_check_modules(LILV REQUIRED IMPORTED_TARGET lilv-0)

add_executable(plugin_tests plugin/plugin_test.cpp plugin/lv2_host.cpp)
target_include_directories(plugin_tests PRIVATE ${PROJECT_SOURCE_DIR}/plugin
                           ${CMAKE_CURRENT_SOURCE_DIR}/render)
target_link_libraries(plugin_tests PRIVATE tessivox_midi_file tessivox_midi_rules
                      tessivox_realtime_counter PkgConfig::LILV PkgConfig::SNDFILE
                      GTest::gtest_main)
target_compile_definitions(plugin_tests PRIVATE
  TESSIVOX_LV2_PATH="${TESSIVOX_LV2_DIR}"
  TESSIVOX_RENDER_BIN="$<TARGET_FILE:tessivox-render>"
  TESSIVOX_DATA_DIR="${PROJECT_SOURCE_DIR}/data")
add_dependencies(plugin_tests tessivox_lv2 tessivox-render)
gtest_discover_tests(plugin_tests PROPERTIES TIMEOUT 300)

add_test(NAME plugin_lv2_tools
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/plugin/lv2_tools.sh ${TESSIVOX_LV2_DIR} ${CMAKE_BINARY_DIR})
