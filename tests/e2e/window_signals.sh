#!/usr/bin/env bash
# SIGTERM and SIGINT end the program through its normal shutdown: exit code
# 0 within a second, and its audio client is gone from the JACK server.
#   window_signals.sh TESSIVOX
TESSIVOX=$1
source "$(dirname "$0")/lib.sh"
e2e_init
start_jack
start_xvfb

for signal in TERM INT; do
  "$TESSIVOX" >"$E2E_DIR/out.log" 2>&1 &
  PID=$!
  wait_window '^Tessivox$' >/dev/null || fail "no Tessivox window"
  tries=0
  until jack_lsp | grep -q "^tessivox\.P\.$PID"; do
    tries=$((tries + 1))
    [ $tries -lt 100 ] || fail "no audio client of the program"
    sleep 0.05
  done
  sent=$(now_ms)
  kill -"$signal" "$PID"
  expect_exit "$PID" "$sent" 1000
  ! jack_lsp | grep -q "^tessivox\.P\.$PID" || fail "SIG$signal left the audio client behind"
done
echo PASS
