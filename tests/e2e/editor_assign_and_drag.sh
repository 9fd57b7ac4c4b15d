#!/usr/bin/env bash
# The real program under a bare X server with JACK: assign m and A to the pad
# axes with the axis buttons, tick Enable, hold a note and check the recording
# against the engine's rendering of the same path; drag the third point with
# the note held and check the sustain changed; open Help from the menu, see
# that Escape, the main window's close box, a slider drag and a port pick do
# nothing meanwhile, close Help, see the slider work, quit with Escape: exit
# code 0.
#
# usage: editor_assign_and_drag.sh TESSIVOX JACK_MIDI_SENDER CLOSE_WINDOW RECORDING_CHECK BUILD_DIR
source "$(dirname "$0")/lib.sh"
e2e_init
PROGRAM=$1 SENDER=$2 CLOSE_WINDOW=$3 CHECK=$4
ART=${TESSIVOX_ARTIFACTS:-$5/artifacts}
mkdir -p "$ART"

start_jack
start_xvfb

NOTE=60
start_sender editorkeys keys

"$PROGRAM" >"$E2E_DIR/program.log" 2>&1 &
PID=$!
E2E_PIDS+=($PID)
WID=$(wait_window '^Tessivox$') || fail "no main window"
alive() { kill -0 "$PID" 2>/dev/null; }

# The pad's black square starts at client y 10: that gives the menu bar height.
sleep 0.5
import -window "$WID" "$E2E_DIR/first.png"
MENU=$(convert "$E2E_DIR/first.png" -crop 1x80+665+0 txt:- |
  awk -F'[,:]' '/#000000/ {print $2 - 10; exit}')
[ -n "$MENU" ] || fail "pad not found in the first screenshot"
echo "menu bar height $MENU"

# Client coordinates below the menu bar.
click() {
  xdotool mousemove --window "$WID" "$1" $(($2 + MENU)) click 1
  sleep 0.2
}
key() {
  xdotool windowfocus --sync "$WID"
  xdotool key "$1"
  sleep 0.2
}
AXIS_X=690
axis_y() { echo $((355 + 20 * $1)); }
slider_y() { echo $((360 + 20 * $1)); }

# X: m from 6.030 (its start), slider to the maximum, m again: to 25.000.
click $AXIS_X "$(axis_y 0)"
click 330 "$(slider_y 0)"
key End
click $AXIS_X "$(axis_y 0)"
# Y: A from 0.300, slider to the maximum, A again: to 5.000.
click $AXIS_X "$(axis_y 4)"
click 330 "$(slider_y 4)"
key End
click $AXIS_X "$(axis_y 4)"
click 580 325 # Enable
import -window "$WID" "$ART/editor_assigned.png"

# The note, recorded from what reaches the speaker.
timeout 60 jack_rec -f "$E2E_DIR/note.wav" -d 10 -b 16 system:monitor_1 >"$E2E_DIR/rec.log" 2>&1 &
REC=$!
E2E_PIDS+=($REC)
sleep 0.5
send_note on $NOTE
T0=$(date +%s.%N)
since() { awk -v t0="$T0" -v now="$(date +%s.%N)" 'BEGIN { printf "%.3f", now - t0 }'; }
sleep 2.6
# The third point, pad (200, 100), dragged to (60, 250) with the note held;
# the first move with the button down picks it (within 4 pixels of it).
PX=515 PY=10
drag=(mousemove --window "$WID" $((PX + 200)) $((PY + 100 + MENU)) mousedown 1
  mousemove --window "$WID" $((PX + 202)) $((PY + 102 + MENU)) sleep 0.03)
for step in 1 2 3 4 5 6 7; do
  drag+=(mousemove --window "$WID" $((PX + 200 - 20 * step)) $((PY + 100 + 150 * step / 7 + MENU))
    sleep 0.03)
done
DRAG_START=$(since)
xdotool "${drag[@]}" mouseup 1
DRAG_END=$(since)
sleep "$(awk -v s="$DRAG_END" 'BEGIN { printf "%.3f", (s < 3.8) ? 5.5 - s : 1.7 }')"
NOTE_OFF=$(since)
send_note off $NOTE
echo "drag from ${DRAG_START} s to ${DRAG_END} s after the note-on, note-off at ${NOTE_OFF} s"
awk -v t="$NOTE_OFF" 'BEGIN { exit !(t < 9) }' || fail "too slow to hold the note (${NOTE_OFF} s)"
wait $REC || fail "jack_rec failed: $(cat "$E2E_DIR/rec.log")"
cp "$E2E_DIR/note.wav" "$ART/editor_note.wav"

import -window "$WID" "$ART/editor_main_window.png"
pixel() {
  convert "$ART/editor_main_window.png" -crop "1x1+$1+$(($2 + MENU))" -depth 8 txt:- |
    awk 'NR == 2 {print $3}'
}
[ "$(pixel $((PX + 60)) $((PY + 254)))" = "#FFFFFF" ] || fail "no third point at its new place"
[ "$(pixel $((PX + 200)) $((PY + 104)))" = "#000000" ] || fail "third point still at the old place"

# m from 6.03 to 25, A from 0.3 to 5; third point (200, 100), then (60, 250).
# Compared: up to just before the drag, and from just after it to the note-off.
windows=$(awk -v a="$DRAG_START" -v b="$DRAG_END" -v c="$NOTE_OFF" \
  'BEGIN { printf "%.3f %.3f %.3f", a - 0.2, b + 0.4, c - 0.2 }')
# shellcheck disable=SC2086
"$CHECK" path "$E2E_DIR/note.wav" $NOTE 6.03 25 0.3 5 200 100 60 250 $windows ||
  fail "the recording does not follow the path"

# Help from the menu "?": its second item, with a note sustained meanwhile.
send_note on $NOTE
sleep 1.2
xdotool mousemove --window "$WID" 10 $((MENU / 2)) click 1
sleep 0.3
xdotool key Right Down Return  # from the Sound menu to "?", About, Help
HID=$(wait_window '^Tessivox Help$') || fail "no help window"
sleep 0.3
import -window "$HID" "$ART/editor_help_window.png"
# Meanwhile the main window takes no input: a drag on N3's slider and a pick
# in the port list leave its picture as it was.
import -window "$WID" "$E2E_DIR/help_open.png"
record help_open
xdotool mousemove --window "$WID" 330 $(($(slider_y 3) + MENU)) mousedown 1 \
  mousemove --window "$WID" 120 $(($(slider_y 3) + MENU)) mouseup 1
click 775 455
xdotool key Down Return
xdotool windowfocus --sync "$HID"
xdotool key Escape
key Escape
"$CLOSE_WINDOW" "$WID"
sleep 0.5
import -window "$WID" "$E2E_DIR/help_used.png"
[ "$(compare -metric AE "$E2E_DIR/help_open.png" "$E2E_DIR/help_used.png" null: 2>&1)" = 0 ] ||
  fail "the main window changed while Help was open"
record help_used
"$CHECK" differ "$E2E_DIR/help_open.wav" "$E2E_DIR/help_used.wav" >"$E2E_DIR/differ" &&
  fail "the sound changed while Help was open"
echo "while Help: $(grep distance "$E2E_DIR/differ")"
alive || fail "the program ended while Help was open"
xdotool search --name '^Tessivox Help$' >/dev/null || fail "Escape closed the help window"

"$CLOSE_WINDOW" "$HID"
for _ in $(seq 100); do
  xdotool search --name '^Tessivox Help$' >/dev/null 2>&1 || break
  sleep 0.05
done
! xdotool search --name '^Tessivox Help$' >/dev/null 2>&1 || fail "the help window stayed open"
alive || fail "closing Help ended the program"
# Its controls work again: the same drag moves N3's value text.
import -window "$WID" "$E2E_DIR/help_closed.png"
xdotool mousemove --window "$WID" 330 $(($(slider_y 3) + MENU)) mousedown 1 \
  mousemove --window "$WID" 120 $(($(slider_y 3) + MENU)) mouseup 1
sleep 0.3
import -window "$WID" "$E2E_DIR/after_help.png"
value_text() { convert "$1" -crop "35x20+640+$(($(slider_y 3) + MENU - 10))" +repage "$2"; }
value_text "$E2E_DIR/help_closed.png" "$E2E_DIR/n3_before.png"
value_text "$E2E_DIR/after_help.png" "$E2E_DIR/n3_after.png"
[ "$(compare -metric AE "$E2E_DIR/n3_before.png" "$E2E_DIR/n3_after.png" null: 2>&1)" != 0 ] ||
  fail "after Help the N3 slider does not change its value text"
# And the sound: N1 to its maximum.
click 330 "$(slider_y 1)"
key End
record help_closed
"$CHECK" differ "$E2E_DIR/help_used.wav" "$E2E_DIR/help_closed.wav" >"$E2E_DIR/differ" ||
  fail "after Help the N1 slider does not change the sound"
echo "after Help: $(grep distance "$E2E_DIR/differ")"
send_note off $NOTE

xdotool windowfocus --sync "$WID"
pressed=$(now_ms)
xdotool key Escape
expect_exit "$PID" "$pressed" 5000
echo "PASS: assignment, path, drag, help and exit; artefacts in $ART"
