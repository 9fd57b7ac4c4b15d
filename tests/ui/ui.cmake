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
  ui/program_icon_test.cpp)
target_link_libraries(ui_tests PRIVATE tessivox_ui Qt6::Test GTest::gtest)
gtest_discover_tests(ui_tests
  PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" LABELS "ui"
  DISCOVERY_TIMEOUT 30)
