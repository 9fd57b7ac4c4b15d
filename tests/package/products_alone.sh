#!/usr/bin/env bash
# Each product configures and builds alone where the others' packages are
# missing: pkg-config and CMake see none of them. The plugin needs only LV2,
# cairo and X11; the renderer no Qt, PortAudio, RtMidi or JACK, and it renders
# the same bytes as the full build's.
#   products_alone.sh FULL_BUILD_DIR
set -euo pipefail
FULL=$(cd "$1" && pwd)
WORK=$(mktemp -d "${TMPDIR:-/tmp}/tessivox-products.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# A pkg-config folder of every installed package but the ones named.
without() {  # DIR PATTERN...
  local dir=$1 pc name pattern
  shift
  mkdir -p "$dir"
  for pc in $(pkg-config --variable pc_path pkg-config | tr : ' '); do
    for pc in "$pc"/*.pc; do
      [ -e "$pc" ] || continue
      name=$(basename "$pc" .pc)
      for pattern in "$@"; do [[ $name == $pattern ]] && continue 2; done
      [ -e "$dir/$name.pc" ] || ln -s "$pc" "$dir/"
    done
  done
}
alone() {  # NAME PKG_CONFIG_DIR CMAKE_OPTION...
  local name=$1 pc=$2
  shift 2
  PKG_CONFIG_LIBDIR=$pc cmake -S . -B "$WORK/$name" -G Ninja -DTESSIVOX_TESTS=OFF \
    -DTESSIVOX_BENCH=OFF -DTESSIVOX_GUI=OFF -DCMAKE_DISABLE_FIND_PACKAGE_Qt6=ON "$@" \
    >"$WORK/$name.log" 2>&1 || { cat "$WORK/$name.log"; fail "$name alone does not configure"; }
  cmake --build "$WORK/$name" -j "$(nproc)" >>"$WORK/$name.log" 2>&1 ||
    { tail -20 "$WORK/$name.log"; fail "$name alone does not build"; }
  echo "$name alone: configured and built"
}

without "$WORK/pc-plugin" rtmidi 'lilv-*' 'serd-*' 'sord-*' portaudio-2.0 jack alsa sndfile 'Qt6*'
alone plugin "$WORK/pc-plugin" -DTESSIVOX_RENDER=OFF -DCMAKE_DISABLE_FIND_PACKAGE_CLI11=ON
[ -f "$WORK/plugin/lv2/tessivox.lv2/tessivox.so" ] && [ -f "$WORK/plugin/lv2/tessivox.lv2/tessivox_ui.so" ] ||
  fail "the plugin's bundle is incomplete"

without "$WORK/pc-render" rtmidi portaudio-2.0 jack alsa 'Qt6*' 'cairo*' x11
alone renderer "$WORK/pc-render" -DTESSIVOX_PLUGIN=OFF
midi=tests/fuzz/corpus/tempo_map.mid
"$FULL/src/tessivox-render" "$midi" "$WORK/full.wav" >/dev/null
"$WORK/renderer/src/tessivox-render" "$midi" "$WORK/alone.wav" >/dev/null
cmp "$WORK/full.wav" "$WORK/alone.wav" || fail "the renderer built alone renders other bytes"
echo "renderer alone: the same $(stat -c %s "$WORK/alone.wav") bytes as the full build's"
echo PASS
