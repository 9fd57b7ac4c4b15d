#!/usr/bin/env bash
# The widget tests of the MIDI port list that need real ports, against a
# private JACK server.
#   window_port_list.sh UI_TESTS
UI_TESTS=$1
source "$(dirname "$0")/lib.sh"
e2e_init
start_jack
QT_QPA_PLATFORM=offscreen timeout 60 "$UI_TESTS" --gtest_filter='*WithJack.*' \
  >"$E2E_DIR/ui.out" 2>&1 || { cat "$E2E_DIR/ui.out"; fail "port list tests failed"; }
grep -E '^\[ *(OK|SKIPPED|PASSED|FAILED) *\]' "$E2E_DIR/ui.out"
grep -q 'SKIPPED' "$E2E_DIR/ui.out" && fail "skipped: $(grep -A1 SKIPPED "$E2E_DIR/ui.out" | head -3)"
grep -q '^\[  PASSED  \] 1 test' "$E2E_DIR/ui.out" || fail "the test did not run"
echo PASS
