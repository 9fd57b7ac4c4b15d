# The axis buttons, the pad and Help on the real program, under Xvfb with JACK.
add_test(NAME editor_assign_and_drag
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/editor_assign_and_drag.sh
    $<TARGET_FILE:tessivox> $<TARGET_FILE:jack_midi_sender> $<TARGET_FILE:close_window>
    $<TARGET_FILE:recording_check> ${CMAKE_BINARY_DIR})
set_tests_properties(editor_assign_and_drag PROPERTIES LABELS e2e TIMEOUT 120)
