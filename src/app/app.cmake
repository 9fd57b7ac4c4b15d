add_executable(tessivox ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(tessivox PRIVATE tessivox_ui)
# Audio and MIDI come from their own libraries; until they exist the
# program builds against stand-ins without devices.
if(TARGET tessivox_audio)
  target_link_libraries(tessivox PRIVATE tessivox_audio)
else()
  add_library(tessivox_audio_stub STATIC ${CMAKE_CURRENT_LIST_DIR}/../ui/stubs/audio_stub.cpp)
  target_link_libraries(tessivox_audio_stub PUBLIC tessivox_engine)
  target_link_libraries(tessivox PRIVATE tessivox_audio_stub)
endif()
if(TARGET tessivox_midi)
  target_link_libraries(tessivox PRIVATE tessivox_midi)
endif()

install(TARGETS tessivox RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/tessivox.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
