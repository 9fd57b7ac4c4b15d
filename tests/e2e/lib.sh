# Shared helpers for the end-to-end scripts: private JACK and X servers that
# are started as children and always stopped again. Source, then call
# e2e_init, then start_jack and/or start_xvfb.

e2e_init() {
  set -euo pipefail
  E2E_DIR=$(mktemp -d "${TMPDIR:-/tmp}/tessivox-e2e.XXXXXX")
  export XDG_RUNTIME_DIR="$E2E_DIR/run"
  mkdir -m 700 "$XDG_RUNTIME_DIR"
  # The window keeps its last sound in the home's presets.
  export HOME="$E2E_DIR/home"
  mkdir -p "$HOME"
  # Without this, JACK clients try to start a server of their own.
  export JACK_NO_START_SERVER=1
  # A server name of our own, so parallel runs never meet. JACK's registry
  # has room for only 8 names and keeps an entry when a server dies badly,
  # so the names come from a small fixed set that later runs reuse.
  local slot
  for slot in 0 1 2 3 4 5; do
    exec {E2E_SLOT_FD}>"${TMPDIR:-/tmp}/tessivox-e2e-slot-$slot.lock"
    flock -n "$E2E_SLOT_FD" && break
    exec {E2E_SLOT_FD}>&-
    [ "$slot" -lt 5 ] || fail "no free JACK server slot"
  done
  export JACK_DEFAULT_SERVER="tessivox-e2e-$slot"
  # With no server running at all, whatever the registry holds is stale.
  pgrep -x jackd >/dev/null || rm -f /dev/shm/jack-shm-registry /dev/shm/jack_sem.* \
    /dev/shm/jack-[0-9]*
  E2E_PIDS=()
  trap e2e_cleanup EXIT
}

e2e_cleanup() {
  local pid
  for pid in "${E2E_PIDS[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${E2E_PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$E2E_DIR"
}

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# JACK_RATE: the server's rate (44100 unless set).
start_jack() {
  timeout 3600 jackd --no-realtime -d dummy -r "${JACK_RATE:-44100}" -p 1024 -m >"$E2E_DIR/jackd.log" 2>&1 &
  E2E_PIDS+=($!)
  local tries=0
  until timeout 2 jack_lsp system:playback_1 >/dev/null 2>&1; do
    tries=$((tries + 1))
    [ $tries -lt 200 ] || { cat "$E2E_DIR/jackd.log" >&2; fail "jackd did not start"; }
    sleep 0.05
  done
}

start_xvfb() {
  # Without -noreset the server resets whenever its last client leaves, and a
  # client connecting just then is refused.
  timeout 3600 Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset \
    3>"$E2E_DIR/display" 2>"$E2E_DIR/xvfb.log" &
  E2E_PIDS+=($!)
  local tries=0
  until [ -s "$E2E_DIR/display" ]; do
    tries=$((tries + 1))
    [ $tries -lt 200 ] || fail "Xvfb did not start"
    sleep 0.05
  done
  export DISPLAY=":$(head -1 "$E2E_DIR/display")"
}

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# Waits until a line of FILE matches TEXT.
wait_line() {  # FILE TEXT
  local tries=0
  until grep -q "$2" "$1" 2>/dev/null; do
    tries=$((tries + 1))
    [ $tries -lt 300 ] || { cat "$1" >&2; fail "no '$2' in $(basename "$1")"; }
    sleep 0.05
  done
}

# Starts the JACK MIDI sender $SENDER with ARGS, fed through fd 7 and
# answering into $E2E_DIR/sender.out, and waits until it is ready.
start_sender() {
  mkfifo "$E2E_DIR/sender.in"
  timeout 120 "$SENDER" "$@" <"$E2E_DIR/sender.in" >"$E2E_DIR/sender.out" 2>&1 &
  SENDER_PID=$!
  E2E_PIDS+=($SENDER_PID)
  exec 7>"$E2E_DIR/sender.in"
  wait_line "$E2E_DIR/sender.out" '^ready'
}

# Sends "on NOTE" or "off NOTE" and waits until it has gone out.
send_note() {
  local sent tries=0
  sent=$(grep -c '^sent' "$E2E_DIR/sender.out" || true)
  echo "$1 $2" >&7
  until [ "$(grep -c "^sent" "$E2E_DIR/sender.out")" -gt "$sent" ]; do
    tries=$((tries + 1))
    [ $tries -lt 500 ] || fail "the MIDI sender did not send $1 $2"
    sleep 0.01
  done
  tail -1 "$E2E_DIR/sender.out" | grep -qx "sent $1 $2" || fail "MIDI sender: $(tail -1 "$E2E_DIR/sender.out")"
}

# Fails unless process PID ends, with exit code 0, less than LIMIT ms after
# SINCE (from now_ms).
expect_exit() {  # PID SINCE LIMIT
  local took rc=0
  while kill -0 "$1" 2>/dev/null && [ $(($(now_ms) - $2)) -lt "$3" ]; do sleep 0.01; done
  took=$(($(now_ms) - $2))
  kill -0 "$1" 2>/dev/null && fail "still running ${took} ms on"
  wait "$1" || rc=$?
  echo "ended ${took} ms on, exit code $rc"
  [ $rc -eq 0 ] || fail "exit code $rc"
  [ "$took" -lt "$3" ] || fail "took ${took} ms"
}

# Waits for a mapped window whose title matches the regex; prints its id.
# Only mapped ones: the search ignores case, and Qt's unmapped leader window
# is called "tessivox".
wait_window() {
  local name=$1 tries=0 wid
  while :; do
    wid=$(xdotool search --onlyvisible --name "$name" 2>/dev/null | head -1) && [ -n "$wid" ] && break
    tries=$((tries + 1))
    [ $tries -lt 200 ] || return 1
    sleep 0.05
  done
  echo "$wid"
}

# Opens the MIDI port list of window WID.
open_port_list() {  # WID
  local menu
  menu=$(import -window "$1" png:- | convert - -crop 1x80+150+0 +repage txt:- |
    awk -F'[,: ]+' '/#000000/ {print $2; exit}')
  [ -n "$menu" ] || fail "shape display not found in a screenshot"
  xdotool mousemove --window "$1" 775 $((menu - 10 + 455)) click 1
  sleep 0.5
}

# Opens the MIDI port list of window WID and chooses the first entry that
# begins with NAME.
choose_port() {  # WID NAME
  open_port_list "$1"
  xdotool type "$2"
  xdotool key Return
}

# Waits at most LIMIT ms until status field 0 of window WID shows TEXT, pixel
# for pixel as the reference picture "$E2E_DIR/TEXT.png" that
# `window_reference status` made; FIELD is the field's place (WxH+X+Y) it
# printed. Prints how long it took.
wait_status() {  # WID TEXT LIMIT
  local start differ
  start=$(now_ms)
  while :; do
    import -window "$1" "$E2E_DIR/status.png" 2>/dev/null &&
      convert "$E2E_DIR/status.png" -crop "$FIELD" +repage "$E2E_DIR/field.png" &&
      differ=$(compare -metric AE "$E2E_DIR/field.png" "$E2E_DIR/$2.png" null: 2>&1) &&
      [ "$differ" = 0 ] && break
    [ $(($(now_ms) - start)) -lt "$3" ] || fail "status field 0 does not say \"$2\" after $3 ms"
    sleep 0.05
  done
  echo "status field 0 says \"$2\" after $(($(now_ms) - start)) ms"
}

# Starts the headless host $HOST, allowed SECONDS, fed through fd 4 and
# answering into $E2E_DIR/host.out, and waits until it plays.
start_host() {  # SECONDS
  mkfifo "$E2E_DIR/host.in"
  timeout "$1" "$HOST" <"$E2E_DIR/host.in" >"$E2E_DIR/host.out" 2>"$E2E_DIR/host.err" 7>&- &
  HOST_PID=$!
  E2E_PIDS+=($HOST_PID)
  exec 4>"$E2E_DIR/host.in"
  wait_line "$E2E_DIR/host.out" "^playing"
}

# Checks the note recorded in WAV, writes what it heard to $ART/NAME.mid,
# renders that with tessivox-render and compares the recording with it.
check_against_render() {  # NAME WAV
  "$BUILD/tests/recording_check" note "$2" --write-midi "$ART/$1.mid" | tee "$ART/$1.txt"
  [ "${PIPESTATUS[0]}" -eq 0 ] || fail "recording check"
  "$BUILD/src/tessivox-render" "$ART/$1.mid" "$ART/$1_render.wav" --rate "${JACK_RATE:-44100}" ||
    fail "tessivox-render"
  "$BUILD/tests/recording_check" note "$2" --compare "$ART/$1_render.wav" \
    | grep '^renderer match\|^FAIL' | tee -a "$ART/$1.txt"
  [ "${PIPESTATUS[0]}" -eq 0 ] || fail "recording differs from tessivox-render"
}

# Records one second of what the server plays into $E2E_DIR/NAME.wav.
record() {  # NAME
  jack_rec -f "$E2E_DIR/$1.wav" -d 1 -b 16 system:monitor_1 >/dev/null 2>&1 || fail "jack_rec"
}

# The headless host's counters: nothing allocated or locked in a real-time callback.
check_realtime_counts() {
  grep -qx 'realtime allocations: 0' "$E2E_DIR/host.out" || fail "allocation in a real-time callback"
  grep -qx 'realtime locks: 0' "$E2E_DIR/host.out" || fail "lock in a real-time callback"
}

# Starts recording 7 s of the sender's marker and the speaker into
# $ART/NAME.wav ($WAV), in the background ($REC_PID).
record_marked() {  # NAME
  WAV="$ART/$1.wav"
  rm -f "$WAV"
  timeout 60 jack_rec -f "$WAV" -d 7 -b 32 notes:marker system:monitor_1 >"$E2E_DIR/rec.log" 2>&1 &
  REC_PID=$!
  E2E_PIDS+=($REC_PID)
}
