#!/usr/bin/env bash
# The plugin live in Debian's host: jalv runs tessivox.lv2 from the build tree
# as a JACK client; a JACK MIDI sender plays note 69; the speaker's signal,
# recorded with the sender's marker, is checked against the engine and
# against tessivox-render given the same notes. Then a preset loads in jalv.
# Usage: plugin_jalv_note.sh BUILD_DIR
source "$(dirname "$0")/lib.sh"
e2e_init
BUILD=$1
ART=${TESSIVOX_ARTIFACTS:-$BUILD/artifacts}
mkdir -p "$ART"
start_jack

SENDER=$BUILD/tests/jack_midi_sender
start_sender notes keys

mkfifo "$E2E_DIR/jalv.in"
# Line-buffered, so its answers to commands can be waited for.
LV2_PATH=$BUILD/lv2 timeout 60 stdbuf -oL jalv -x -n tessivox urn:tessivox:synth \
  <"$E2E_DIR/jalv.in" >"$E2E_DIR/jalv.out" 2>&1 &
JALV_PID=$!
E2E_PIDS+=($JALV_PID)
exec 4>"$E2E_DIR/jalv.in"
tries=0
until timeout 2 jack_lsp tessivox:out >/dev/null 2>&1; do
  tries=$((tries + 1))
  [ $tries -lt 200 ] || { cat "$E2E_DIR/jalv.out" >&2; fail "jalv did not start the plugin"; }
  sleep 0.05
done
jack_connect notes:out tessivox:midi_in || fail "cannot connect the MIDI sender"
jack_connect tessivox:out system:playback_1 || fail "cannot connect the plugin's output"

record_marked plugin_jalv_note
sleep 0.8
send_note on 69
sleep 1.5
send_note off 69
wait $REC_PID || fail "jack_rec failed: $(cat "$E2E_DIR/rec.log")"

check_against_render plugin_jalv_note "$WAV"

# jalv loads the presets it lists; one of them sets the controls.
echo "presets" >&4
wait_line "$E2E_DIR/jalv.out" 'urn:tessivox:preset:pure-sine (Pure sine)'
echo "preset urn:tessivox:preset:pure-sine" >&4
echo "controls" >&4
wait_line "$E2E_DIR/jalv.out" '^release = 800\.0'
grep -Eq '^(> )*m = 4\.0+$' "$E2E_DIR/jalv.out" || { cat "$E2E_DIR/jalv.out"; fail "preset not applied"; }
exec 4>&-  # end of input ends jalv
wait $JALV_PID || fail "jalv exited with $?"
echo "PASS"
