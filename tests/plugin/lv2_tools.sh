#!/usr/bin/env bash
# The bundle as the LV2 tools see it: lv2ls finds it, lv2info shows every
# control port with its range and default and the presets, sord_validate
# with the LV2 schemas finds no error in its Turtle files.
# cmake --install puts the bundle in lib/lv2/tessivox.lv2.
# Usage: lv2_tools.sh LV2_DIR BUILD_DIR   (LV2_DIR holds tessivox.lv2)
set -euo pipefail
DIR=$1
BUILD=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

LV2_PATH=$DIR lv2ls | grep -qx 'urn:tessivox:synth' || fail "lv2ls does not list urn:tessivox:synth"

# The LV2 specifications beside it, so the class has its name.
info=$(LV2_PATH=$DIR:/usr/lib/lv2 lv2info urn:tessivox:synth)
echo "$info" | grep -q 'Name: *Tessivox$' || fail "name"
echo "$info" | grep -q 'Class: *Instrument Plugin$' || fail "class"
ports=$(echo "$info" | grep -c '^\s*Symbol:')
controls=$(echo "$info" | grep -c 'lv2core#ControlPort')
[ "$ports" -eq 36 ] || fail "$ports ports, not 36"
for field in Minimum Maximum Default; do
  n=$(echo "$info" | grep -c "^\s*$field:")
  [ "$n" -eq "$controls" ] || fail "$n of $controls control ports show a $field"
done
presets=$(echo "$info" | sed -n '/Presets:/,/^$/p' | grep -vc 'Presets:\|^$' || true)
[ "$presets" -ge 3 ] || fail "$presets presets listed"
echo "$info" | grep -q 'Class: *http://lv2plug.in/ns/extensions/ui#X11UI' || fail "no X11 UI listed"
echo "$ports ports, $controls controls with range and default, $presets presets"

# Only the LV2 specifications serve as schemas: another package's faulty Turtle is not ours.
schemas=$(grep -l 'lv2:Specification' /usr/lib/lv2/*.lv2/manifest.ttl | sed 's|manifest.ttl$|*.ttl|')
out=$(sord_validate /usr/lib/lv2/schemas.lv2/*.ttl $schemas "$DIR"/tessivox.lv2/*.ttl 2>&1) \
  || { echo "$out"; fail "sord_validate"; }
echo "$out" | tail -1
echo "$out" | grep -qx 'Found 0 errors among [0-9]* files (checked [0-9]* restrictions)' \
  || { echo "$out"; fail "sord_validate reports errors"; }

PREFIX=$(mktemp -d)
trap 'rm -rf "$PREFIX"' EXIT
cmake --install "$BUILD" --prefix "$PREFIX" --component plugin >/dev/null
for so in tessivox tessivox_ui; do
  [ -f "$PREFIX/lib/lv2/tessivox.lv2/$so.so" ] || fail "no $so.so in lib/lv2/tessivox.lv2"
done
LV2_PATH=$PREFIX/lib/lv2 lv2ls | grep -qx 'urn:tessivox:synth' || fail "installed bundle not found"
echo PASS
