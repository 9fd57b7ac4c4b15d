#!/usr/bin/env bash
# The real program under Xvfb with a JACK dummy server. With no MIDI port its
# status field 0 says "No MIDI IN". With one it says "MIDI IN", the window
# appears at its size, a JACK MIDI note-on 69 is heard at 441 Hz (at the
# server's rate, JACK_RATE, 44100 unless set: in whole-sample periods), dragging
# the m slider while the note is held changes the sound, and Escape ends the
# program at once with exit code 0.
#   window_play.sh TESSIVOX JACK_MIDI_SENDER RECORDING_CHECK WINDOW_REFERENCE ARTIFACT_DIR
TESSIVOX=$1 SENDER=$2 CHECK=$3 REFERENCE=$4 ARTIFACTS=$5
source "$(dirname "$0")/lib.sh"
e2e_init
mkdir -p "$ARTIFACTS"
start_jack
start_xvfb

# Status field 0 of the real main window saying each text, as this X server
# shows it, and its place in the client area.
FIELD=$("$REFERENCE" status "$E2E_DIR/MIDI IN.png" "MIDI IN" "$E2E_DIR/No MIDI IN.png" "No MIDI IN") ||
  fail "no reference status field"
echo "status field 0 at $FIELD"
[[ $FIELD =~ ^100x([0-9]+)\+[0-9]+\+([0-9]+)$ ]] &&
  [ $((BASH_REMATCH[1] + BASH_REMATCH[2])) -le 530 ] && [ "${BASH_REMATCH[2]}" -gt 450 ] ||
  fail "status field 0 is not 100 pixels wide at the bottom of the client area"

# Screenshots of window $1 until its field 0 is the reference saying $2;
# it must differ from the one saying $3.
field_shows() {  # WID TEXT OTHER_TEXT SCREENSHOT
  local same other
  for _ in $(seq 20); do
    import -window "$1" "$4"
    convert "$4" -crop "$FIELD" +repage "$E2E_DIR/field.png"
    same=$(compare -metric AE "$E2E_DIR/field.png" "$E2E_DIR/$2.png" null: 2>&1) || true
    [ "$same" = 0 ] && break
    sleep 0.1
  done
  other=$(compare -metric AE "$E2E_DIR/field.png" "$E2E_DIR/$3.png" null: 2>&1) || true
  echo "status field 0: $same pixels differ from \"$2\", $other from \"$3\""
  [ "$same" = 0 ] || fail "status field 0 does not say \"$2\""
  [[ $other =~ ^[1-9][0-9]*$ ]] || fail "status field 0 looks like \"$3\""
}

# Escape, after focusing the window, ends the program within a second.
escape_ends() {  # PID WID
  xdotool windowfocus --sync "$2"
  local pressed
  pressed=$(now_ms)
  xdotool key Escape
  expect_exit "$1" "$pressed" 1000
}

# No MIDI port yet.
"$TESSIVOX" >"$E2E_DIR/no_port.log" 2>&1 &
PID=$!
WID=$(wait_window '^Tessivox$') || fail "no Tessivox window"
field_shows "$WID" "No MIDI IN" "MIDI IN" "$ARTIFACTS/window_no_midi_port.png"
escape_ends $PID "$WID"

# The MIDI source exists before the program starts, so it is list entry 0.
start_sender e2ekeys keys

start=$(now_ms)
"$TESSIVOX" >"$E2E_DIR/out.log" 2>&1 &
PID=$!
WID=$(wait_window '^Tessivox$') || fail "no Tessivox window"
echo "window shown $(($(now_ms) - start)) ms after launch"
geometry=$(xwininfo -id "$WID")
echo "$geometry" | grep -q 'Width: 870$' || fail "client width: $geometry"
echo "$geometry" | grep -q 'Height: 530$' || fail "client height: $geometry"

# The program connects its own MIDI input to the sender's port.
for _ in $(seq 100); do
  jack_lsp -c e2ekeys:out 2>/dev/null | grep -q '^ ' && break
  sleep 0.05
done
jack_lsp -c e2ekeys:out | grep -q '^ ' || fail "the MIDI port was not opened"

send_note on 69
sleep 0.4
record before
hz=$(awk -v r="${JACK_RATE:-44100}" 'BEGIN { printf "%.3f", r / int(r / 440 + 0.5) }')
"$CHECK" tone "$E2E_DIR/before.wav" "$hz" 0.5 || fail "no $hz Hz tone"
field_shows "$WID" "MIDI IN" "No MIDI IN" "$ARTIFACTS/window_main.png"
grep VmRSS /proc/$PID/status | sed 's/^/running program /'
grep RssAnon /proc/$PID/status | sed 's/^/running program /'

# The first black row of the shape display is client row 10 below the menu bar.
menu=$(convert "$ARTIFACTS/window_main.png" -crop 1x80+150+0 +repage txt:- |
  awk -F'[,: ]+' '/#000000/ {print $2; exit}')
[ -n "$menu" ] || fail "shape display not found in the screenshot"
y=$((menu - 10 + 350 + 10))
# Drag the thumb of slider 15 (m at 6.03, about 24 % along) to the right.
xdotool mousemove --window "$WID" 178 "$y" mousedown 1 \
  mousemove --window "$WID" 250 "$y" mousemove --window "$WID" 320 "$y" \
  mousemove --window "$WID" 400 "$y" mouseup 1
sleep 0.3
record after
import -window "$WID" "$ARTIFACTS/window_after_drag.png"
"$CHECK" differ "$E2E_DIR/before.wav" "$E2E_DIR/after.wav" || fail "the drag did not change the sound"
cp "$E2E_DIR/before.wav" "$E2E_DIR/after.wav" "$ARTIFACTS/"

# Escape while the note sounds.
escape_ends $PID "$WID"
echo PASS
