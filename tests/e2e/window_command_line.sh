#!/usr/bin/env bash
# --help and --version print, exit 0 and open no window, not even a
# connection to the X server; any other argument leaves one line on stderr
# and the program starts as usual, with its icon on the window. Without a
# display: one line that says so, exit 1.
#   window_command_line.sh TESSIVOX VERSION
TESSIVOX=$1
VERSION=$2
source "$(dirname "$0")/lib.sh"
e2e_init
start_jack
start_xvfb

# ARGS | exit code | first line of stdout
cases=(
  "--version|0|Tessivox $VERSION"
  "--help|0|Usage: tessivox [--help | --version]"
  "-h|0|Usage: tessivox [--help | --version]"
  "--bogus --version|0|Tessivox $VERSION"
  "--version --help|0|Usage: tessivox [--help | --version]"
)
for case in "${cases[@]}"; do
  IFS='|' read -r args code first <<<"$case"
  # Under Xvfb, and with a display that does not exist: the toolkit would
  # abort on the latter, so a pass shows it never started.
  for display in "$DISPLAY" ":9999"; do
    rc=0
    # shellcheck disable=SC2086
    DISPLAY=$display timeout 10 "$TESSIVOX" $args >"$E2E_DIR/out" 2>"$E2E_DIR/err" || rc=$?
    [ "$rc" = "$code" ] || fail "tessivox $args on $display: exit code $rc"
    [ "$(head -1 "$E2E_DIR/out")" = "$first" ] || fail "tessivox $args: $(head -1 "$E2E_DIR/out")"
    [ ! -s "$E2E_DIR/err" ] || fail "tessivox $args: stderr $(cat "$E2E_DIR/err")"
  done
  [ -z "$(xdotool search --name Tessivox 2>/dev/null)" ] || fail "tessivox $args made a window"
done
grep -q 'tessivox-render(1)' "$E2E_DIR/out" || fail "--help names no manual page"
# A text that cannot be written is a failure.
rc=0
"$TESSIVOX" --version >/dev/full 2>/dev/null || rc=$?
[ "$rc" = 1 ] || fail "--version to a full disk: exit code $rc"
echo "--help and --version: exit 0, no window"

# Without a display (none named, or one that is not there): one line, exit 1.
for display in "" ":9999"; do
  rc=0
  env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY DISPLAY=$display timeout 10 "$TESSIVOX" -v \
    >"$E2E_DIR/out" 2>"$E2E_DIR/err" || rc=$?
  [ "$rc" = 1 ] && [ "$(wc -l <"$E2E_DIR/err")" = 1 ] &&
    grep -q '^tessivox: needs a graphical display' "$E2E_DIR/err" ||
    fail "no display '$display': exit code $rc, stderr $(cat "$E2E_DIR/err")"
  echo "no display '$display': $(cat "$E2E_DIR/err")"
done

# After "--" nothing is an option; a control character cannot break the line.
"$TESSIVOX" --bogus $'a\nb' -- --help >"$E2E_DIR/out" 2>"$E2E_DIR/err" &
PID=$!
WID=$(wait_window '^Tessivox$') || fail "no Tessivox window: $(cat "$E2E_DIR/err")"
[ "$(cat "$E2E_DIR/err")" = "tessivox: ignoring arguments: --bogus a?b --help" ] ||
  fail "stderr: $(cat "$E2E_DIR/err")"
[ ! -s "$E2E_DIR/out" ] || fail "stdout: $(cat "$E2E_DIR/out")"
# The main window carries the program's icon.
for _ in $(seq 100); do
  icon=$(xprop -id "$WID" _NET_WM_ICON 2>&1 || true)
  [[ $icon =~ Icon\ \(([0-9]+)\ x\ ([0-9]+)\) ]] && break
  sleep 0.05
done
[[ $icon =~ Icon\ \(([0-9]+)\ x\ ([0-9]+)\) ]] || fail "the window has no icon: ${icon:0:100}"
echo "window icon: $(grep -o 'Icon ([0-9]* x [0-9]*)' <<<"$icon" | tr '\n' ' ')"
sent=$(now_ms)
kill -TERM "$PID"
expect_exit "$PID" "$sent" 1000
[ "$(wc -l <"$E2E_DIR/err")" = 1 ] || fail "more on stderr: $(cat "$E2E_DIR/err")"
echo PASS
