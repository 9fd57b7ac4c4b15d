#!/usr/bin/env bash
# No audio server: only the "PortAudio" box with the library's text, no main
# window, and its OK (or SIGTERM) ends the program with exit code 0.
#   window_no_jack.sh TESSIVOX WINDOW_REFERENCE ARTIFACT_DIR
TESSIVOX=$1 REFERENCE=$2 ARTIFACTS=$3
source "$(dirname "$0")/lib.sh"
e2e_init
mkdir -p "$ARTIFACTS"
start_xvfb
# No JACK server of this name runs; none may be started.
export JACK_DEFAULT_SERVER="tessivox-none-$$"

"$TESSIVOX" >"$E2E_DIR/out.log" 2>&1 &
PID=$!
WID=$(wait_window '^PortAudio$') || fail "no PortAudio box"
sleep 0.3
import -window "$WID" "$ARTIFACTS/window_portaudio_box.png"
[ -z "$(xdotool search --onlyvisible --name '^Tessivox$' 2>/dev/null)" ] \
  || fail "a Tessivox window is open"

xdotool windowfocus --sync "$WID"
pressed=$(now_ms)
xdotool key Return
expect_exit $PID "$pressed" 2000

# SIGTERM closes the box and ends the program the same way.
"$TESSIVOX" >"$E2E_DIR/out.log" 2>&1 &
PID=$!
wait_window '^PortAudio$' >/dev/null || fail "no PortAudio box"
sent=$(now_ms)
kill -TERM $PID
expect_exit $PID "$sent" 1000

# The same box with the text "Invalid device", made independently, must look
# the same pixel for pixel.
"$REFERENCE" box >"$E2E_DIR/reference.log" 2>&1 &
REF=$!
E2E_PIDS+=($REF)
RWID=$(wait_window '^PortAudio$') || { cat "$E2E_DIR/reference.log"; fail "no reference box"; }
sleep 0.3
import -window "$RWID" "$E2E_DIR/reference.png"
differing=$(compare -metric AE "$ARTIFACTS/window_portaudio_box.png" "$E2E_DIR/reference.png" \
  null: 2>&1) || true
echo "pixels differing from a box saying \"Invalid device\": $differing"
[ "$differing" = 0 ] || fail "the box does not show \"Invalid device\""
echo PASS
