add_executable(tessivox ${CMAKE_CURRENT_LIST_DIR}/main.cpp ${CMAKE_CURRENT_LIST_DIR}/command_line.cpp)
target_compile_definitions(tessivox PRIVATE TESSIVOX_VERSION="${PROJECT_VERSION}")
target_link_libraries(tessivox PRIVATE tessivox_ui tessivox_audio tessivox_midi)
install(TARGETS tessivox RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/tessivox.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${TESSIVOX_ICON} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
