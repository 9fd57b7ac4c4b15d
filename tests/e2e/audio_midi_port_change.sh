#!/usr/bin/env bash
# Port change under fire: two JACK MIDI ports each flood 5,000 messages a
# second while the host switches between them 200 times. No crash, no hang,
# and no message from a closed port reaches the note state.
# Usage: audio_midi_port_change.sh BUILD_DIR [HOST]; SWITCHES overrides the 200.
source "$(dirname "$0")/lib.sh"
e2e_init
BUILD=$1
HOST=${2:-$BUILD/tests/headless-host}
SWITCHES=${SWITCHES:-200}
start_jack

SENDER=$BUILD/tests/jack_midi_sender
start_sender flood flood 5000 2

status=0
timeout 100 "$HOST" --switch "$SWITCHES" --switch-interval-ms 40 </dev/null >"$E2E_DIR/host.out" \
  2>"$E2E_DIR/host.err" || status=$?
echo stop >&7
wait $SENDER_PID || true
cat "$E2E_DIR/host.out" "$E2E_DIR/sender.out"
[ $status -eq 0 ] || tail -60 "$E2E_DIR/host.err"
[ $status -eq 0 ] || fail "host exited with $status (124 = hang)"
grep -qx 'port 0: flood:out1' "$E2E_DIR/host.out" || fail "first flood port not listed first"
grep -qx 'port 1: flood:out2' "$E2E_DIR/host.out" || fail "second flood port not listed"
grep -qx "switched: $SWITCHES" "$E2E_DIR/host.out" || fail "did not switch $SWITCHES times"
grep -q '^switch failed' "$E2E_DIR/host.out" && fail "a port change did not open its port"
grep -qx 'midi accepted after close: 0' "$E2E_DIR/host.out" || fail "a closed port changed the note state"
accepted=$(sed -n 's/^midi accepted: //p' "$E2E_DIR/host.out")
# Each port stays open about 40 ms, long enough for a few hundred messages.
[ "${accepted:-0}" -gt $((SWITCHES * 50)) ] || fail "too few messages went through ($accepted)"
check_realtime_counts
echo "PASS"
