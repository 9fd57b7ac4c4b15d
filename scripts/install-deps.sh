#!/usr/bin/env bash
# Installs the Debian 12 packages for building (no argument) or for building
# and testing ("test").
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
lists=("$here/packages-build.txt")
[ "${1:-}" = test ] && lists+=("$here/packages-test.txt")
mapfile -t packages < <(cat "${lists[@]}" | grep -v '^\s*\(#\|$\)')
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' && continue
  # Node.js from nodesource holds npm and conflicts with Debian's package.
  [ "$p" = npm ] && command -v npm >/dev/null && continue
  missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
# jackd2 asks whether to enable realtime priority; answer it up front.
echo "jackd2 jackd/tweak_rt_limits boolean false" | $sudo debconf-set-selections
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
