#!/bin/sh
# Writes the renderer's manual page: TEMPLATE with @VERSION@ filled in and
# its @OPTIONS@ line replaced by the options RENDER --help lists, so that
# no range or default is written down twice.
#   render_man_page.sh RENDER TEMPLATE VERSION OUTPUT
set -eu
help=$("$1" --help)
options=$(printf '%s\n' "$help" | awk '
  # Option names keep plain minus signs, so they can be copied from the page.
  function text(s,    out, opt) {
    gsub(/\\/, "\\e", s)
    out = ""
    while (match(s, /--[a-z0-9-]*[a-z0-9]/)) {
      opt = substr(s, RSTART, RLENGTH)
      gsub(/-/, "\\-", opt)
      out = out substr(s, 1, RSTART - 1) opt
      s = substr(s, RSTART + RLENGTH)
    }
    s = out s
    if (s ~ /^[.'"'"']/) s = "\\&" s
    return s
  }
  /^[A-Za-z].*:$/ { section = $0; next }
  section != "Options:" { next }
  /^  -/ {
    spec = substr($0, 3)
    cut = index(spec, "  ")
    desc = ""
    if (cut > 0) {
      desc = substr(spec, cut)
      spec = substr(spec, 1, cut - 1)
      sub(/^ +/, "", desc)
    }
    arg = spec
    sub(/^[^ ]+ ?/, "", arg)
    sub(/ .*$/, "", spec)
    n = split(spec, names, ",")
    line = ".It"
    for (i = 1; i <= n; i++) {
      name = names[i]
      sub(/^-/, "", name)
      gsub(/-/, "\\-", name)
      line = line (i > 1 ? " ," : "") " Fl " name
    }
    if (arg != "") line = line " Ar " arg
    print line
    if (desc != "") print text(desc)
    count++
    next
  }
  /^   / { sub(/^ +/, ""); if ($0 != "") print text($0) }
  END { if (count == 0) exit 1 }
') || { echo "render_man_page.sh: no options in $1 --help" >&2; exit 1; }
awk -v version="$3" -v options="$options" '
  $0 == "@OPTIONS@" { print options; next }
  { gsub(/@VERSION@/, version); print }
' "$2" >"$4.tmp"
mv "$4.tmp" "$4"
