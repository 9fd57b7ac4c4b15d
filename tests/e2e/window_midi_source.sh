#!/usr/bin/env bash
# The MIDI source goes away under the real program and comes back: a JACK
# MIDI sender holds note 69 and exits. The status says "No MIDI IN" and the
# note is released as if the port had closed (silence once the release ran
# out). The sender starts again under the same name: "MIDI IN" within 2 s and
# its next note is heard. Its connection removed by hand: released, connected
# again, next note heard. A source that appears later is offered by the port
# list when it is opened; Escape with the list open closes only the list.
#   window_midi_source.sh TESSIVOX JACK_MIDI_SENDER RECORDING_CHECK WINDOW_REFERENCE
TESSIVOX=$1 SENDER=$2 CHECK=$3 REFERENCE=$4
source "$(dirname "$0")/lib.sh"
e2e_init
start_jack
start_xvfb
FIELD=$("$REFERENCE" status "$E2E_DIR/MIDI IN.png" "MIDI IN" "$E2E_DIR/No MIDI IN.png" "No MIDI IN") ||
  fail "no reference status field"

start_sender plug keys
# Not holding the sender's input open: closing it must end the sender.
"$TESSIVOX" >"$E2E_DIR/program.log" 2>&1 7>&- &
PID=$!
E2E_PIDS+=($PID)
WID=$(wait_window '^Tessivox$') || fail "no Tessivox window"
wait_status "$WID" "MIDI IN" 5000
send_note on 69
record held
"$CHECK" tone "$E2E_DIR/held.wav" 441 0.5 || fail "the note does not sound"

# Unplugged with the key down.
exec 7>&-
wait "$SENDER_PID" || true
wait_status "$WID" "No MIDI IN" 2000
sleep 1.5
record unplugged
"$CHECK" silent "$E2E_DIR/unplugged.wav" || fail "the note did not end with its source"

# Plugged in again.
rm -f "$E2E_DIR/sender.in"
start_sender plug keys
wait_status "$WID" "MIDI IN" 2000
send_note on 69
record back
"$CHECK" tone "$E2E_DIR/back.wav" 441 0.5 || fail "the source's note after its return is not heard"

# Its connection removed by hand with the key down: released, and made again.
jack_disconnect plug:out Tessivox:in
sleep 1.5
record cut
"$CHECK" silent "$E2E_DIR/cut.wav" || fail "the note did not end with its connection"
jack_lsp -c plug:out | grep -q Tessivox:in || fail "the connection was not made again"
send_note off 69
send_note on 69
record again
"$CHECK" tone "$E2E_DIR/again.wav" 441 0.5 || fail "no note after the connection came back"
send_note off 69

# A source that was not there at start-up: the opened list offers it.
# Its input, opened for reading and writing, never ends.
mkfifo "$E2E_DIR/later.in"
"$SENDER" later keys <>"$E2E_DIR/later.in" >"$E2E_DIR/later.out" 2>&1 7>&- &
E2E_PIDS+=($!)
wait_line "$E2E_DIR/later.out" '^ready'
choose_port "$WID" later
for _ in $(seq 40); do
  jack_lsp -c later:out | grep -q '^ ' && break
  sleep 0.05
done
jack_lsp -c later:out | grep -q '^ ' || fail "the source that came later was not offered or not opened"
wait_status "$WID" "MIDI IN" 2000

# Escape with the list open closes only the list.
open_port_list "$WID"
xdotool key Escape
sleep 0.5
kill -0 "$PID" || fail "Escape with the port list open ended the program"
xdotool windowfocus --sync "$WID"
pressed=$(now_ms)
xdotool key Escape
expect_exit "$PID" "$pressed" 1000
echo PASS
