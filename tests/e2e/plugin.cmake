# The LV2 plugin in jalv under a real JACK server.
if(NOT TARGET tessivox_lv2 OR NOT TARGET recording_check OR TESSIVOX_TSAN)
  return()
endif()
add_test(NAME e2e_plugin_jalv_note
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/plugin_jalv_note.sh ${CMAKE_BINARY_DIR})
set_tests_properties(e2e_plugin_jalv_note PROPERTIES LABELS e2e TIMEOUT 150)
if(TARGET window_reference AND TARGET ui_cycles)
  add_test(NAME e2e_plugin_ui_jalv
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/plugin_ui_jalv.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(e2e_plugin_ui_jalv PROPERTIES LABELS e2e TIMEOUT 120)
endif()
