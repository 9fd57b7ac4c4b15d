# The axis buttons, the pad and Help on the real program, under Xvfb with JACK.
add_test(NAME editor_assign_and_drag
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/editor_assign_and_drag.sh
    $<TARGET_FILE:tessivox> $<TARGET_FILE:editor_midi_keys> $<TARGET_FILE:editor_close_window>
    $<TARGET_FILE:editor_check_recording> ${CMAKE_BINARY_DIR})
set_tests_properties(editor_assign_and_drag PROPERTIES LABELS e2e TIMEOUT 120)
