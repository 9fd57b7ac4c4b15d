#!/usr/bin/env bash
# The sound server goes away under the real program while a note plays:
# JACK killed, then Escape; JACK stopped cleanly, then Escape; both end the
# program with exit code 0 within a second; so does Escape while JACK hangs
# (stopped) and another source has just been chosen. JACK killed and started again:
# the program plays again (its stream reopened, its MIDI source reconnected)
# within 5 s, also after six restarts of 0.3-0.8 s up. JACK and the program
# sent SIGTERM together: exit code 0.
#   window_audio_server.sh TESSIVOX JACK_MIDI_SENDER RECORDING_CHECK
TESSIVOX=$1 SENDER=$2 CHECK=$3
source "$(dirname "$0")/lib.sh"
e2e_init
start_xvfb

# The server itself, not its timeout wrapper.
jackd_pid() { pgrep -P "${E2E_PIDS[-1]}" -x jackd; }

new_sender() {
  if [ -n "${SENDER_PID:-}" ]; then
    exec 7>&-
    kill "$SENDER_PID" 2>/dev/null || true
    wait "$SENDER_PID" 2>/dev/null || true
    rm -f "$E2E_DIR/sender.in"
  fi
  start_sender keys keys
}

heard() {  # NAME: a second of the speaker carries note 69
  jack_rec -f "$E2E_DIR/$1.wav" -d 1 -b 16 system:monitor_1 >/dev/null 2>&1 || return 1
  "$CHECK" tone "$E2E_DIR/$1.wav" 441 0.5
}

midi_linked() { jack_lsp -c keys:out 2>/dev/null | grep -q '^ '; }

# A fresh server and sender, the program started and playing note 69.
start_playing() {
  start_jack
  JACKD=$(jackd_pid) || fail "jackd did not start"
  new_sender
  "$TESSIVOX" >"$E2E_DIR/program.log" 2>&1 &
  PID=$!
  WID=$(wait_window '^Tessivox$') || fail "no Tessivox window"
  for _ in $(seq 100); do midi_linked && break; sleep 0.05; done
  send_note on 69
  heard "playing$PID" || fail "the note does not sound"
}

escape_ends() {
  xdotool windowfocus --sync "$WID"
  local pressed
  pressed=$(now_ms)
  xdotool key Escape
  expect_exit "$PID" "$pressed" 1000
}

echo "JACK killed, Escape 0.2 s later"
start_playing
kill -KILL "$JACKD"
sleep 0.2
escape_ends

echo "JACK stopped, Escape 1.5 s later"
start_playing
kill -TERM "$JACKD"
while kill -0 "$JACKD" 2>/dev/null; do sleep 0.05; done
sleep 1.5
escape_ends

echo "JACK hung (SIGSTOP), another source chosen, Escape"
start_playing
mkfifo "$E2E_DIR/other.in"
"$SENDER" other keys <>"$E2E_DIR/other.in" >"$E2E_DIR/other.out" 2>&1 7>&- &
E2E_PIDS+=($!)
wait_line "$E2E_DIR/other.out" '^ready'
kill -STOP "$JACKD"
choose_port "$WID" other
escape_ends
kill -CONT "$JACKD"
kill -TERM "$JACKD"
while kill -0 "$JACKD" 2>/dev/null; do sleep 0.05; done

echo "JACK killed and started again, after quick restarts"
start_playing
for _ in $(seq 6); do
  kill -KILL "$JACKD"
  sleep "0.$((RANDOM % 5 + 2))"
  start_jack
  JACKD=$(jackd_pid)
  sleep "0.$((RANDOM % 6 + 3))"
  kill -0 "$PID" || fail "the program died in a quick restart"
done
kill -KILL "$JACKD"
sleep 0.5
start_jack
restarted=$(now_ms)
JACKD=$(jackd_pid) || fail "jackd did not start again"
new_sender
until midi_linked && jack_lsp -c system:playback_1 | grep -q "tessivox\.P\.$PID"; do
  [ $(($(now_ms) - restarted)) -lt 4000 ] || fail "not linked again 4 s after the restart"
  sleep 0.05
done
echo "stream and MIDI source linked again $(($(now_ms) - restarted)) ms after the restart"
send_note on 69
heard restarted || fail "no sound after the restart"
took=$(($(now_ms) - restarted))
echo "note heard within ${took} ms of the restart"
[ "$took" -lt 5000 ] || fail "took ${took} ms"
escape_ends
kill -TERM "$JACKD"
while kill -0 "$JACKD" 2>/dev/null; do sleep 0.05; done

echo "JACK and the program sent SIGTERM together"
start_playing
sent=$(now_ms)
kill -TERM "$JACKD" "$PID"
expect_exit "$PID" "$sent" 1000
echo PASS
