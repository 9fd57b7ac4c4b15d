#!/usr/bin/env bash
# The plugin's window in Debian's GTK 3 host: jalv.gtk3 under a bare X server
# embeds it. Its displays and pad are the program window's pixels at the start
# and after a preset is loaded from jalv's menu; a slider click and a pad drag
# change jalv's port values (read back from a preset jalv saves) and the
# pictures follow; the axis buttons give the window's limits and labels; 200
# openings and closings leave the host's memory as it was.
# usage: plugin_ui_jalv.sh BUILD_DIR
source "$(dirname "$0")/lib.sh"
e2e_init
BUILD=$(cd "$1" && pwd)
ART=${TESSIVOX_ARTIFACTS:-$BUILD/artifacts}
mkdir -p "$ART"
start_jack
start_xvfb
export HOME=$E2E_DIR/home LV2_PATH=$BUILD/lv2
mkdir -p "$HOME"
reference() { QT_QPA_PLATFORM=offscreen "$BUILD/tests/window_reference" displays "$@"; }

jalv.gtk3 urn:tessivox:synth >"$E2E_DIR/jalv.log" 2>&1 &
E2E_PIDS+=($!)
TOP=$(wait_window "^Tessivox$") || { cat "$E2E_DIR/jalv.log"; fail "no jalv window"; }
UI=$(wait_window '^Tessivox UI$') || { cat "$E2E_DIR/jalv.log"; fail "the plugin's window is not shown"; }
sleep 1

# Each picture of the window's grab, found in the UI's within 5 pixels of its place.
pictures_match() {  # NAME SETTING...
  local name=$1 area differ
  shift
  reference "$E2E_DIR/$name.png" "$@" >/dev/null || fail "window_reference"
  import -window "$UI" "$E2E_DIR/ui_$name.png"
  for area in "shape 300 0" "waveform 201 302" "pad 300 505"; do
    set -- $area
    convert "$E2E_DIR/$name.png" -crop "${2}x300+$3+0" +repage "$E2E_DIR/want.png"
    convert "$E2E_DIR/ui_$name.png" -crop "$(($2 + 10))x310+$(($3 + 5))+5" +repage "$E2E_DIR/got.png"
    differ=$(compare -metric AE -subimage-search "$E2E_DIR/got.png" "$E2E_DIR/want.png" null: 2>&1) ||
      true
    [ "$differ" = "0 @ 5,5" ] || return 1
  done
  echo "$name: shape, waveform and pad pixel-identical to the window's"
}
same_pictures() {
  sleep 0.3
  pictures_match "$@" || { cp "$E2E_DIR/ui_$1.png" "$E2E_DIR/$1.png" "$ART/"; fail "$1 differs"; }
}
# A preset's shape and pad values, as window_reference settings.
preset_settings() {  # SLUG
  sed -n "/^<urn:tessivox:preset:$1>/,/ \.\$/p" "$BUILD/lv2/tessivox.lv2/presets.ttl" |
    grep -E 'lv2:symbol|pset:value' | paste - - |
    awk '{ gsub("\"", "", $2); if ($2 ~ /^(m|n[123]|a|b|p[1-4]_[xy])$/) print $2 "=" $5 }'
}
ui_click() { xdotool mousemove --window "$UI" "$1" "$2" click 1; sleep 0.2; }
menu() {  # X Y in jalv's window: open Presets, then pick the item
  xdotool mousemove --window "$TOP" 70 12 click 1
  sleep 0.5
  xdotool mousemove --window "$TOP" "$1" "$2" click 1
  sleep 0.8
}
# jalv's port values, as it writes them into a preset of its own.
port_values() {  # NAME
  menu 115 37
  local dialog
  dialog=$(xdotool search --onlyvisible --name '^Save Preset$' | head -1)
  [ -n "$dialog" ] || fail "no Save Preset dialog"
  xdotool mousemove --window "$dialog" 575 26 click 1 sleep 0.3 type "$1"
  sleep 0.5
  xdotool mousemove --window "$dialog" 1046 798 click 1
  sleep 1
  find "$HOME" -name "*$1.ttl" | grep -q . || fail "jalv saved no preset $1"
  grep -E 'lv2:symbol|pset:value' "$(find "$HOME" -name "*$1.ttl" | head -1)" | paste - - |
    awk '{ gsub("\"", "", $2); print $2 "=" $5 }' | sort >"$E2E_DIR/$1.values"
}
value() { printf '%g' "$(sed -n "s/^$2=//p" "$E2E_DIR/$1.values")"; }

same_pictures start
# Each preset of jalv's menu in turn (their order is jalv's): the pictures
# are the window's at that preset's values.
SLUGS=$(sed -n 's/^<urn:tessivox:preset:\(.*\)>$/\1/p' "$BUILD/lv2/tessivox.lv2/presets.ttl")
for y in 88 112 136 160; do
  menu 87 $y
  sleep 0.3
  found=
  for slug in $SLUGS; do
    pictures_match "$slug" $(preset_settings "$slug") && found=$slug && break
  done
  [ -n "$found" ] || { cp "$E2E_DIR/ui_$slug.png" "$ART/"; fail "menu item at $y: no preset's pictures"; }
  [ "$found" != growl ] || GROWL_Y=$y
done
[ -n "${GROWL_Y:-}" ] || fail "Growl was not among the presets"
menu 87 "$GROWL_Y"

# A click on m's slider at x 330 takes position 1251 (12.51), the arrow keys 1253; the third pad
# point, (200, 100), is dragged to (60, 250).
ui_click 330 360
xdotool mousemove --window "$UI" 715 110 mousedown 1 mousemove --window "$UI" 717 112 sleep 0.1 \
  mousemove --window "$UI" 600 200 sleep 0.1 mousemove --window "$UI" 575 260 sleep 0.1 mouseup 1
# The clicked slider keeps the keys: two steps right (no window manager, so
# they go to the window under the pointer).
xdotool key Right Right
sleep 0.2
port_values moved
for want in m=12.53 p3_x=60 p3_y=250 n1=1 p4_x=300; do
  [ "$(value moved "${want%=*}")=" = "${want#*=}=" ] ||
    fail "jalv has ${want%=*} = $(value moved "${want%=*}"), not ${want#*=}"
done
echo "jalv after the slider click and the drag: m=$(value moved m) p3=($(value moved p3_x), $(value moved p3_y))"
same_pictures moved $(preset_settings growl) m=12.53 p3_x=60 p3_y=250

# The growl preset has both axes assigned: the first click clears them. Then
# as in the window: m from its value to its maximum on X, A likewise on Y.
ui_click 690 355
AXIS=(axis=m m=25 axis=m axis=A a=5 axis=A enable)
ui_click 690 355
ui_click 629 360
ui_click 690 355
ui_click 690 435
ui_click 629 440
ui_click 690 435
ui_click 575 325
port_values axes
read -r xf xt yf yt xl yl < <(reference "$E2E_DIR/axes.png" $(preset_settings growl) m=12.53 "${AXIS[@]}")
names=(none m N1 N2 N3 A B)
got="$(printf '%.3f %.3f %.3f %.3f' "$(value axes x_from)" "$(value axes x_to)" \
  "$(value axes y_from)" "$(value axes y_to)") ${names[$(value axes x_param)]} ${names[$(value axes y_param)]}"
echo "axes: window \"$xf $xt $yf $yt $xl $yl\", plugin \"$got\", trajectory $(value axes trajectory)"
[ "$got" = "$xf $xt $yf $yt $xl $yl" ] || fail "the axis buttons differ from the window's"
[ "$(value axes trajectory)" = 1 ] || fail "Enable did not switch the trajectory on"

# Opened and closed 200 times by a host of our own (jalv opens it once).
"$BUILD/tests/ui_cycles" "$BUILD/lv2/tessivox.lv2/tessivox_ui.so" 200 || fail "ui_cycles"
echo PASS
