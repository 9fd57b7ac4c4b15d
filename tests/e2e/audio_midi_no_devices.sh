#!/usr/bin/env bash
# No JACK server and no ALSA devices: the stream cannot open and says why in
# the library's words, the MIDI list is empty and opening gives "No MIDI IN";
# nothing crashes, hangs or prints library noise.
# Usage: audio_midi_no_devices.sh BUILD_DIR [HOST]
source "$(dirname "$0")/lib.sh"
e2e_init
BUILD=$1
HOST=${2:-$BUILD/tests/headless-host}
[ -e /dev/snd ] && { echo "SKIP: this machine has sound devices"; exit 0; }

status=0
timeout 20 "$HOST" </dev/null >"$E2E_DIR/out" 2>"$E2E_DIR/err" || status=$?
cat "$E2E_DIR/out"
[ $status -eq 0 ] || fail "host exited with $status (124 = hang)"
grep -qx 'PortAudio: Invalid device' "$E2E_DIR/out" || fail "no 'Invalid device' report"
grep -qx 'ports: 0' "$E2E_DIR/out" || fail "ports listed without a MIDI service"
grep -qx 'status: No MIDI IN' "$E2E_DIR/out" || fail "status is not 'No MIDI IN'"
if grep -E 'MidiIn|RtMidi|Cannot connect to server|ALSA lib' "$E2E_DIR/err"; then
  fail "library noise on stderr"
fi
echo "PASS"
