#!/usr/bin/env bash
# One note through a real JACK server: a JACK MIDI sender made before the
# host starts is listed and opened; note-on 69 then note-off; the speaker's
# signal, recorded with the sender's marker, is checked against the engine
# and against tessivox-render given the same notes, at the server's rate
# (JACK_RATE, 44100 unless set).
# Usage: audio_midi_note.sh BUILD_DIR [HOST]
source "$(dirname "$0")/lib.sh"
e2e_init
BUILD=$1
HOST=${2:-$BUILD/tests/headless-host}
ART=${TESSIVOX_ARTIFACTS:-$BUILD/artifacts}
mkdir -p "$ART"
start_jack

SENDER=$BUILD/tests/jack_midi_sender
start_sender notes keys

NAME=audio_midi_note${JACK_RATE:+_$JACK_RATE}
record_marked "$NAME"

start_host 60
grep -qx 'port 0: notes:out' "$E2E_DIR/host.out" || { cat "$E2E_DIR/host.out"; fail "sender not first in the port list"; }
grep -qx 'status: MIDI IN' "$E2E_DIR/host.out" || { cat "$E2E_DIR/host.out"; fail "port not opened"; }

sleep 0.8
send_note on 69
sleep 1.5
send_note off 69
wait $REC_PID || fail "jack_rec failed: $(cat "$E2E_DIR/rec.log")"

echo quit >&4
wait $HOST_PID || fail "host exited with $?"
cat "$E2E_DIR/host.out"
grep -qx 'stopped' "$E2E_DIR/host.out" || fail "host did not shut down in order"
grep -qx 'midi accepted: 2' "$E2E_DIR/host.out" || fail "the host did not take exactly the two notes"
check_realtime_counts

check_against_render "$NAME" "$WAV"
echo "PASS"
