find_package(Qt6 REQUIRED COMPONENTS Test)

add_executable(window_tests
  ui/window_main.cpp
  ui/window_drawing_test.cpp
  ui/window_main_window_test.cpp)
target_link_libraries(window_tests PRIVATE tessivox_ui Qt6::Test GTest::gtest)
gtest_discover_tests(window_tests
  PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" LABELS "ui")
