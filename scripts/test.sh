#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test:
# unit and widget tests, end-to-end tests against real JACK and X servers,
# the browser version in chromium, a ThreadSanitizer build with its stress
# test and a fuzzing run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test

jobs=$(nproc)
export TESSIVOX_ARTIFACTS=${TESSIVOX_ARTIFACTS:-$PWD/artifacts}
mkdir -p "$TESSIVOX_ARTIFACTS"

echo "== build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"

echo "== unit and widget tests"
ctest --test-dir build -j "$jobs" -LE 'e2e|tsan|fuzz|web' --output-on-failure

echo "== end-to-end tests"
ctest --test-dir build -L e2e --output-on-failure

echo "== browser"
ctest --test-dir build -L web --no-tests=error --output-on-failure

echo "== Debian package: build, lintian, install, run, purge"
sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo bash tests/package/check_deb.sh build .

echo "== the plugin and the renderer built alone"
bash tests/package/products_alone.sh build

echo "== ThreadSanitizer"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSIVOX_TSAN=ON \
  -DTESSIVOX_GUI=OFF -DTESSIVOX_BENCH=OFF >/dev/null
cmake --build build-tsan -j "$jobs"
ctest --test-dir build-tsan -L tsan --output-on-failure

echo "== fuzzing"
CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSIVOX_FUZZ=ON \
  -DTESSIVOX_GUI=OFF -DTESSIVOX_BENCH=OFF >/dev/null
cmake --build build-fuzz -j "$jobs"
ctest --test-dir build-fuzz -L fuzz --output-on-failure

echo "== all tests passed; artefacts in $TESSIVOX_ARTIFACTS"
