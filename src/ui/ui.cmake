find_package(Qt6 REQUIRED COMPONENTS Widgets)

# Every source of the window: the main window, its displays and editors.
file(GLOB TESSIVOX_UI_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
file(GLOB TESSIVOX_UI_HEADERS CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.h)
add_library(tessivox_ui STATIC ${TESSIVOX_UI_SOURCES} ${TESSIVOX_UI_HEADERS})
set_target_properties(tessivox_ui PROPERTIES AUTOMOC ON)
target_link_libraries(tessivox_ui PUBLIC tessivox_engine Qt6::Widgets)

target_link_libraries(tessivox_ui PUBLIC tessivox_midi)
