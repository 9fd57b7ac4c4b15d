find_package(Qt6 REQUIRED COMPONENTS Widgets)

# Every source of the window: the main window, its displays and editors.
file(GLOB TESSIVOX_UI_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
file(GLOB TESSIVOX_UI_HEADERS CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.h)
add_library(tessivox_ui STATIC ${TESSIVOX_UI_SOURCES} ${TESSIVOX_UI_HEADERS})
set_target_properties(tessivox_ui PROPERTIES AUTOMOC ON)
target_link_libraries(tessivox_ui PUBLIC tessivox_engine Qt6::Widgets)

target_link_libraries(tessivox_ui PUBLIC tessivox_midi)

# The program's icon, drawn at build time by the engine's own formula and
# built into the program; the package installs the same file.
add_executable(tessivox-icon ${PROJECT_SOURCE_DIR}/tools/make_icon.cpp)
target_link_libraries(tessivox-icon PRIVATE tessivox_engine)
set(TESSIVOX_ICON ${CMAKE_CURRENT_BINARY_DIR}/tessivox.svg)
add_custom_command(OUTPUT ${TESSIVOX_ICON}
  COMMAND tessivox-icon ${TESSIVOX_ICON}
  DEPENDS tessivox-icon
  COMMENT "Drawing the icon"
  VERBATIM)
qt_add_resources(tessivox_ui tessivox_icon PREFIX / BASE ${CMAKE_CURRENT_BINARY_DIR}
                 FILES ${TESSIVOX_ICON})
