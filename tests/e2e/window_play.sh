#!/usr/bin/env bash
# The real program under Xvfb with a JACK dummy server: the window appears at
# its size, a JACK MIDI note-on 69 is heard at 441 Hz, dragging the m slider
# while the note is held changes the sound, and Escape ends the program at
# once with exit code 0.
#   window_play.sh TESSIVOX JACK_MIDI_SENDER RECORDING_CHECK ARTIFACT_DIR
TESSIVOX=$1 SENDER=$2 CHECK=$3 ARTIFACTS=$4
source "$(dirname "$0")/lib.sh"
e2e_init
mkdir -p "$ARTIFACTS"
start_jack
start_xvfb

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# The MIDI source exists before the program starts, so it is list entry 0.
mkfifo "$E2E_DIR/notes"
"$SENDER" e2ekeys note <"$E2E_DIR/notes" >"$E2E_DIR/sender.log" 2>&1 &
E2E_PIDS+=($!)
exec 7>"$E2E_DIR/notes"
for _ in $(seq 200); do grep -q ready "$E2E_DIR/sender.log" && break; sleep 0.05; done
grep -q ready "$E2E_DIR/sender.log" || fail "MIDI sender did not start"

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

echo on >&7
sleep 0.4
jack_rec -f "$E2E_DIR/before.wav" -d 1 -b 16 system:monitor_1 >/dev/null 2>&1 \
  || fail "recording failed"
"$CHECK" tone "$E2E_DIR/before.wav" 441 0.5 || fail "no 441 Hz tone"
import -window "$WID" "$ARTIFACTS/window_main.png"
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
jack_rec -f "$E2E_DIR/after.wav" -d 1 -b 16 system:monitor_1 >/dev/null 2>&1 \
  || fail "recording failed"
import -window "$WID" "$ARTIFACTS/window_after_drag.png"
"$CHECK" differ "$E2E_DIR/before.wav" "$E2E_DIR/after.wav" || fail "the drag did not change the sound"
cp "$E2E_DIR/before.wav" "$E2E_DIR/after.wav" "$ARTIFACTS/"

# Escape while the note sounds.
xdotool windowfocus --sync "$WID"
pressed=$(now_ms)
xdotool key Escape
for _ in $(seq 100); do kill -0 $PID 2>/dev/null || break; sleep 0.01; done
took=$(($(now_ms) - pressed))
kill -0 $PID 2>/dev/null && fail "still running ${took} ms after Escape"
rc=0
wait $PID || rc=$?
echo "ended ${took} ms after Escape, exit code $rc"
[ $rc -eq 0 ] || fail "exit code $rc"
[ $took -lt 1000 ] || fail "took ${took} ms"
exec 7>&-
echo PASS
