# Widget tests of the window, its displays, the axis buttons, the pad editor
# and the help texts, on Qt's offscreen platform: no display needed.
find_package(Qt6 REQUIRED COMPONENTS Test)

add_executable(ui_tests
  ui/ui_main.cpp
  ui/window_drawing_test.cpp
  ui/window_main_window_test.cpp
  ui/editor_axis_test.cpp
  ui/editor_pad_test.cpp
  ui/editor_help_test.cpp
  ui/window_input_test.cpp
  ui/control_table_test.cpp)
pkg_check_modules(RTMIDI REQUIRED IMPORTED_TARGET rtmidi)
target_link_libraries(ui_tests PRIVATE tessivox_ui Qt6::Test GTest::gtest PkgConfig::RTMIDI)
target_compile_definitions(ui_tests PRIVATE
  TESSIVOX_RENDER_BIN="$<TARGET_FILE:tessivox-render>"
  TESSIVOX_DATA_DIR="${PROJECT_SOURCE_DIR}/data")
add_dependencies(ui_tests tessivox-render)
# Tests that need a JACK server run from e2e/window_port_list.sh.
gtest_discover_tests(ui_tests
  PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" LABELS "ui"
  TEST_FILTER "-*WithJack.*"
  DISCOVERY_TIMEOUT 30)
