# Widget tests of the axis buttons, the envelope pad editor and the help texts.
# They run on Qt's offscreen platform: no display needed.
find_package(Qt6 REQUIRED COMPONENTS Test)
add_executable(editor_widget_tests
  ui/editor_main.cpp
  ui/editor_axis_test.cpp
  ui/editor_pad_test.cpp
  ui/editor_help_test.cpp)
target_link_libraries(editor_widget_tests PRIVATE tessivox_ui GTest::gtest Qt6::Test)
gtest_discover_tests(editor_widget_tests
  PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" LABELS "ui"
  DISCOVERY_TIMEOUT 30)

