#!/usr/bin/env bash
# A device's broken sysex over JACK MIDI: a held note, then F0 7E 7F 06 01
# with no closing F7 as one event, then the note-off. The note-off still ends
# the note (silence once the 1.5 s release has run out) and later notes play.
# Usage: audio_midi_sysex.sh BUILD_DIR [HOST]
source "$(dirname "$0")/lib.sh"
e2e_init
BUILD=$1
HOST=${2:-$BUILD/tests/headless-host}
CHECK=$BUILD/tests/recording_check
SENDER=$BUILD/tests/jack_midi_sender
start_jack
start_sender broken keys

start_host 60
grep -qx 'status: MIDI IN' "$E2E_DIR/host.out" || fail "port not opened"

send_note on 69
record held
"$CHECK" tone "$E2E_DIR/held.wav" 441 0.5 || fail "the note does not sound"
send_note raw "F0 7E 7F 06 01"
send_note off 69
sleep 1.7
record released
"$CHECK" silent "$E2E_DIR/released.wav" || fail "the note-off after the broken sysex was lost"
send_note on 69
record again
"$CHECK" tone "$E2E_DIR/again.wav" 441 0.5 || fail "a note after the broken sysex does not sound"
send_note off 69

echo quit >&4
wait $HOST_PID || fail "host exited with $?"
cat "$E2E_DIR/host.out"
grep -qx 'midi accepted: 4' "$E2E_DIR/host.out" || fail "not exactly the four notes reached the note rules"
check_realtime_counts
echo PASS
