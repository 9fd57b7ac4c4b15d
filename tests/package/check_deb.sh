#!/usr/bin/env bash
# Builds the Debian package from a finished build, checks it with lintian,
# installs it with apt-get, runs the installed programs, then purges it and
# finds none of its files left. Installs and removes a system package, so it
# needs root; CI runs it on its own machine.
#   check_deb.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
BUILD=$(cd "$1" && pwd)
SOURCE=$(cd "$2" && pwd)
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
[ "$(id -u)" = 0 ] || fail "check_deb.sh installs a package: run it as root"
export DEBIAN_FRONTEND=noninteractive
WORK=$(mktemp -d "${TMPDIR:-/tmp}/tessivox-deb.XXXXXX")
installed_by_us=0
cleanup() {
  # A failed run does not leave the package behind.
  [ $installed_by_us = 0 ] || apt-get purge -y -q tessivox >/dev/null 2>&1 || true
  rm -rf "$WORK"
}
trap cleanup EXIT
is_installed() { dpkg-query -W -f='${Status}' tessivox 2>/dev/null | grep -q 'ok installed'; }

VERSION=$("$BUILD/src/tessivox-render" --version | awk '{print $2}')
ARCH=$(dpkg --print-architecture)
DEB=$BUILD/tessivox_${VERSION}_${ARCH}.deb

echo "== building $(basename "$DEB")"
rm -f "$BUILD"/tessivox_*.deb
# As the build directory's owner, so that a developer's build stays theirs.
(cd "$BUILD" && runuser -u "$(stat -c %U "$BUILD")" -- cpack -G DEB) >"$WORK/cpack.log" 2>&1 ||
  { cat "$WORK/cpack.log"; fail "cpack"; }
[ -f "$DEB" ] || fail "no $DEB; cpack made: $(ls "$BUILD"/*.deb 2>/dev/null)"
for field in Package Version Section Maintainer Depends Provides Suggests; do
  echo "$field: $(dpkg-deb -f "$DEB" "$field")"
done
[ "$(dpkg-deb -f "$DEB" Section)" = sound ] || fail "section is not sound"
# Depends comes from the shared libraries the programs link.
for library in libqt6widgets6 libportaudio2 librtmidi6 libsndfile1 libc6; do
  dpkg-deb -f "$DEB" Depends | grep -q "$library" || fail "Depends lacks $library"
done

echo "== lintian"
lintian --fail-on error --pedantic --display-info "$DEB" 2>&1 | grep -v 'root privileges' |
  tee "$WORK/lintian" || fail "lintian reports errors"
grep -q '^E:' "$WORK/lintian" && fail "lintian reports errors"
# Fortified functions, stack protector, read-only relocations bound at start.
grep -q 'hardening-' "$WORK/lintian" && fail "lintian finds binaries without hardening"

echo "== apt-get install"
if is_installed; then
  echo "tessivox was installed already: purging it first"
  apt-get purge -y -q tessivox >/dev/null
fi
installed_by_us=1
(cd "$BUILD" && apt-get install -y -q --no-install-recommends "./$(basename "$DEB")") \
  >"$WORK/apt.log" 2>&1 || { cat "$WORK/apt.log"; fail "apt-get install"; }
is_installed || fail "not installed"
mapfile -t files < <(dpkg -L tessivox)

echo "== the installed files"
[ "$(command -v tessivox)" = /usr/bin/tessivox ] || fail "tessivox is not /usr/bin/tessivox"
[ "$(tessivox --version)" = "Tessivox $VERSION" ] || fail "tessivox --version: $(tessivox --version)"
[ "$(tessivox-render --version)" = "tessivox-render $VERSION" ] ||
  fail "tessivox-render --version: $(tessivox-render --version)"
# The installed, stripped renderer plays the demo exactly as the build's,
# from where the manual pages' examples take it.
tessivox-render /usr/share/doc/tessivox/examples/demo.mid "$WORK/installed.wav"
"$BUILD/src/tessivox-render" "$SOURCE/data/demo.mid" "$WORK/built.wav"
cmp -s "$WORK/installed.wav" "$WORK/built.wav" || fail "the installed renderer renders differently"
echo "demo render: $(stat -c %s "$WORK/installed.wav") bytes, as the build tree's"

for page in tessivox tessivox-render; do
  [ "$(man -w "$page")" = "/usr/share/man/man1/$page.1.gz" ] || fail "man -w $page: $(man -w "$page")"
done
MANWIDTH=100 man -P cat tessivox-render 2>/dev/null | grep -q -- '--block N' ||
  fail "man tessivox-render does not show its options"
for page in /usr/share/man/man1/tessivox.1.gz /usr/share/man/man1/tessivox-render.1.gz; do
  zcat "$page" | groff -mandoc -ww -z >"$WORK/lint" 2>&1 || fail "groff failed on $page"
  [ ! -s "$WORK/lint" ] || fail "groff -ww on $page: $(cat "$WORK/lint")"
done
echo "manual pages: man -w finds both; groff -ww silent"

desktop=/usr/share/applications/tessivox.desktop
icon=/usr/share/icons/hicolor/scalable/apps/tessivox.svg
[ -f "$desktop" ] && desktop-file-validate "$desktop" || fail "no valid $desktop"
grep -qx 'Icon=tessivox' "$desktop" || fail "the desktop entry names another icon"
head -c 200 "$icon" | grep -q '<svg' || fail "no SVG icon at $icon"
appstreamcli validate --no-net /usr/share/metainfo/tessivox.metainfo.xml | grep -q '^E:' &&
  fail "the installed metainfo has errors"
[ -f /usr/share/doc/tessivox/copyright ] || fail "no copyright file"
echo "desktop entry, icon, metainfo and copyright where the desktop looks"

if printf '%s\n' "${files[@]}" | grep -q '^/usr/lib/lv2/'; then
  command -v lv2ls >/dev/null || fail "the package has an LV2 bundle but lv2ls is missing"
  lv2ls | grep -qx 'urn:tessivox:synth' || fail "lv2ls does not list urn:tessivox:synth"
  echo "lv2ls lists urn:tessivox:synth"
else
  echo "no LV2 bundle in the package: lv2ls not asked"
fi

echo "== apt-get purge"
apt-get purge -y -q tessivox >"$WORK/apt.log" 2>&1 || { cat "$WORK/apt.log"; fail "apt-get purge"; }
installed_by_us=0
dpkg-query -W -f='${Status}\n' tessivox 2>/dev/null | grep -qv 'not-installed' &&
  fail "still known to dpkg: $(dpkg-query -W -f='${Status}' tessivox)"
left=0
for path in "${files[@]}"; do
  [ "$path" = /. ] && continue
  if [ -d "$path" ] && [ ! -L "$path" ]; then
    # A directory stays only while another package has it too.
    dpkg -S "$path" >/dev/null 2>&1 && continue
  elif [ ! -e "$path" ] && [ ! -L "$path" ]; then
    continue
  fi
  echo "left behind: $path"
  left=$((left + 1))
done
[ $left = 0 ] || fail "$left paths of the package remain"
echo "purged: none of its ${#files[@]} paths remain"
echo PASS
