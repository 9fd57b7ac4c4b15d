find_package(Qt6 REQUIRED COMPONENTS Widgets)

# Every source of the window: the main window, its displays and editors.
file(GLOB TESSIVOX_UI_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
file(GLOB TESSIVOX_UI_HEADERS CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.h)
add_library(tessivox_ui STATIC ${TESSIVOX_UI_SOURCES} ${TESSIVOX_UI_HEADERS})
set_target_properties(tessivox_ui PROPERTIES AUTOMOC ON)
target_link_libraries(tessivox_ui PUBLIC tessivox_engine Qt6::Widgets)

# The MIDI ports come from their own library; until it exists a stand-in
# without ports keeps the window buildable.
if(TARGET tessivox_midi)
  target_link_libraries(tessivox_ui PUBLIC tessivox_midi)
else()
  add_library(tessivox_midi_stub STATIC ${CMAKE_CURRENT_LIST_DIR}/stubs/midi_stub.cpp)
  target_link_libraries(tessivox_midi_stub PUBLIC tessivox_midi_rules)
  target_link_libraries(tessivox_ui PUBLIC tessivox_midi_stub)
endif()
