#!/usr/bin/env bash
# The files the package installs, checked before any package is built: both
# manual pages lint clean in mandoc and groff, the renderer's page lists
# exactly the options its --help lists, with the same ranges and defaults,
# and the desktop entry and the AppStream metadata validate.
#   metadata.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
BUILD=$1 SOURCE=$2
RENDER=$BUILD/src/tessivox-render
DIR=$(mktemp -d "${TMPDIR:-/tmp}/tessivox-metadata.XXXXXX")
trap 'rm -rf "$DIR"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# mandoc looks for the pages that .Xr names beside the page it reads. Its
# one note kept is NetBSD's rule against naming the system in .Os: the pages
# name the program and its version there, which Debian's man shows.
cp "$BUILD/packaging/man/tessivox.1" "$BUILD/packaging/man/tessivox-render.1" "$DIR"
(cd "$DIR" && mandoc -Tlint -Wall tessivox.1 tessivox-render.1) 2>&1 |
  grep -v 'STYLE: operating system explicitly specified: Os Tessivox (NetBSD)$' >"$DIR/lint" || true
[ ! -s "$DIR/lint" ] || fail "mandoc -Tlint: $(cat "$DIR/lint")"
for page in tessivox.1 tessivox-render.1; do
  groff -mandoc -ww -z "$DIR/$page" >"$DIR/lint" 2>&1 || fail "groff failed on $page"
  [ ! -s "$DIR/lint" ] || fail "groff -ww on $page: $(cat "$DIR/lint")"
done
echo "manual pages: no mandoc or groff message"

# One option a line, "SPEC DESCRIPTION" with blanks squeezed: from --help,
# and from the OPTIONS section of the page as man shows it.
"$RENDER" --help | awk '
  /^[A-Za-z].*:$/ { section = $0; next }
  section != "Options:" { next }
  /^  -/ { if (line != "") print line; line = $0; next }
  /^   / { line = line " " $0 }
  END { if (line != "") print line }
' | sed 's/,--/, --/; s/  */ /g; s/^ //' >"$DIR/help_options"
mandoc -Tascii -O width=300 "$DIR/tessivox-render.1" | col -bx |
  sed -n '/^OPTIONS$/,/^[A-Z]/p' | awk '
  /^     -/ { if (line != "") print line; line = $0; next }
  /^      / { line = line " " $0 }
  END { if (line != "") print line }
' | sed 's/[[:space:]][[:space:]]*/ /g; s/^ //; s/ $//' >"$DIR/man_options"
[ "$(wc -l <"$DIR/help_options")" -ge 15 ] || fail "--help lists only $(wc -l <"$DIR/help_options") options"
diff -u "$DIR/help_options" "$DIR/man_options" || fail "tessivox-render(1) and --help list different options"
echo "tessivox-render(1): the $(wc -l <"$DIR/help_options") options of --help, word for word"

desktop-file-validate "$BUILD/src/app/tessivox.desktop" >"$DIR/desktop" 2>&1 ||
  fail "desktop-file-validate: $(cat "$DIR/desktop")"
[ ! -s "$DIR/desktop" ] || fail "desktop-file-validate: $(cat "$DIR/desktop")"
echo "desktop entry: valid"

# The installed tree as a software centre reads it: metadata, desktop entry
# and icon together. The one warning left is the id without a domain.
DESTDIR="$DIR/root" cmake --install "$BUILD" --prefix /usr >/dev/null
appstreamcli validate-tree --no-net "$DIR/root" >"$DIR/appstream" 2>&1 || true
cat "$DIR/appstream"
grep -q '^ *E:' "$DIR/appstream" && fail "appstreamcli reports errors"
grep '^ *[WI]:' "$DIR/appstream" | grep -qv 'cid-desktopapp-is-not-rdns' &&
  fail "appstreamcli reports more than the id"
echo PASS
