#!/usr/bin/env bash
# SIGTERM, SIGINT and SIGHUP end the program through its normal shutdown:
# exit code 0 within a second and its audio client gone from the JACK server,
# also with Help or About open (they close first) and at any moment of
# start-up.
#   window_signals.sh TESSIVOX
TESSIVOX=$1
source "$(dirname "$0")/lib.sh"
e2e_init
start_jack
start_xvfb

start_program() {
  "$TESSIVOX" >"$E2E_DIR/out.log" 2>&1 &
  PID=$!
}

wait_running() {
  WID=$(wait_window '^Tessivox$') || { tail -5 "$E2E_DIR/out.log"; fail "no Tessivox window"; }
  local tries=0
  until jack_lsp | grep -q "^tessivox\.P\.$PID"; do
    tries=$((tries + 1))
    [ $tries -lt 100 ] || fail "no audio client of the program"
    sleep 0.05
  done
}

# Sends SIGNAL and expects the whole program gone within LIMIT ms.
stop_with() {  # SIGNAL WHAT [LIMIT]
  local sent
  sent=$(now_ms)
  kill -"$1" "$PID"
  echo -n "SIG$1 $2: "
  expect_exit "$PID" "$sent" "${3:-1000}"
  ! jack_lsp | grep -q "^tessivox\.P\.$PID" || fail "SIG$1 $2 left the audio client behind"
  [ -z "$(xdotool search --onlyvisible --name '^(Tessivox|Tessivox Help|About)$' 2>/dev/null)" ] ||
    fail "SIG$1 $2 left a window behind"
}

for signal in TERM INT HUP; do
  start_program
  wait_running
  # A write to a sound server that just died raises SIGPIPE; it must not end the program.
  [ $signal != TERM ] || { kill -PIPE "$PID"; sleep 0.2; kill -0 "$PID" || fail "SIGPIPE ended the program"; }
  stop_with "$signal" idle
done

# Help is the second item of "?", About its first; "?" follows the Sound menu.
for item in "Help:Right Down" "About:Right"; do
  start_program
  wait_running
  title=${item%%:*}
  xdotool mousemove --window "$WID" 8 8 click 1
  sleep 0.3
  # shellcheck disable=SC2086
  xdotool key ${item#*:} Return
  wait_window "^(Tessivox )?$title\$" >/dev/null || fail "no $title window"
  sleep 0.2
  stop_with TERM "with $title open"
done

# Start-up: the handler is installed before anything else, so a signal at
# any moment ends the program cleanly. Only while the dynamic loader runs
# (a few ms from exec) can nothing catch it; on a busy machine that can
# outlast a delay, so the signal then waits for the handler, which must come
# before any window (the fault was a handler installed after the window).
# A signal during start-up waits for the audio library's start (about 0.3 s
# here), then the shutdown: more time is allowed on a busy machine.
caught() { (($(awk '/^SigCgt/ { print "0x" $2 }' "/proc/$PID/status" 2>/dev/null) & 0x4000)); }
program=$(readlink -f "$TESSIVOX")
for delay in 0 50 100 200 300; do
  start_program
  until [ "$(readlink "/proc/$PID/exe" 2>/dev/null)" = "$program" ]; do
    kill -0 "$PID" 2>/dev/null || fail "the program did not start"
  done
  exec_ms=$(now_ms)
  [ "$delay" -eq 0 ] || sleep "$(awk -v d="$delay" 'BEGIN { printf "%.3f", d / 1000 }')"
  until caught; do
    kill -0 "$PID" 2>/dev/null || fail "the program ended at start"
    [ -z "$(xdotool search --onlyvisible --pid "$PID" 2>/dev/null)" ] ||
      fail "a window before the signal handler"
  done
  stop_with TERM "$(($(now_ms) - exec_ms)) ms after start (asked: $delay)" 3000
done
echo PASS
