#!/usr/bin/env bash
# The JACK server killed and started again under the headless host while a
# note sounds: the MIDI port counts as closed, the stream and the port come
# back by themselves and the sender's next note is heard; then the host ends
# cleanly. Before that final restart the server flaps FLAPS times (up 0.3-0.8 s,
# down 0.2-0.6 s), so that it also dies right after coming back. Run under
# ThreadSanitizer for the threads that follow the server.
# Usage: audio_midi_server_restart.sh BUILD_DIR [HOST] [FLAPS]
source "$(dirname "$0")/lib.sh"
e2e_init
BUILD=$1
HOST=${2:-$BUILD/tests/headless-host}
SENDER=$BUILD/tests/jack_midi_sender
start_jack
start_sender back keys

FLAPS=${3:-6}
start_host $((100 + 3 * FLAPS))
send_note on 69

kill -KILL "$(pgrep -P "${E2E_PIDS[0]}" -x jackd)"
wait_line "$E2E_DIR/host.out" "^status: No MIDI IN"
for _ in $(seq "$FLAPS"); do
  start_jack
  sleep "0.$((RANDOM % 6 + 3))"
  kill -KILL "$(pgrep -P "${E2E_PIDS[-1]}" -x jackd)"
  sleep "0.$((RANDOM % 5 + 2))"
  kill -0 "$HOST_PID" || { tail -40 "$E2E_DIR/host.err"; fail "host died in a restart"; }
done
start_jack
exec 7>&-
kill "$SENDER_PID" 2>/dev/null || true
rm -f "$E2E_DIR/sender.in"
start_sender back keys
restarted=$(now_ms)
until jack_lsp -c Tessivox:in 2>/dev/null | grep -q '^ '; do
  [ $(($(now_ms) - restarted)) -lt 20000 ] || { cat "$E2E_DIR/host.out"; fail "port not back"; }
  sleep 0.05
done
until jack_lsp -c system:playback_1 | grep -q '^ *tessivox\|headless'; do
  [ $(($(now_ms) - restarted)) -lt 20000 ] || fail "stream not back"
  sleep 0.05
done
send_note on 69
sleep 0.5
record back
send_note off 69
echo quit >&4
status=0
wait $HOST_PID || status=$?
cat "$E2E_DIR/host.out"
[ $status -eq 0 ] || { tail -60 "$E2E_DIR/host.err"; fail "host exited with $status"; }
if [ -x "$BUILD/tests/recording_check" ]; then
  "$BUILD/tests/recording_check" tone "$E2E_DIR/back.wav" 441 0.5 || fail "no note after the restart"
fi
echo PASS
