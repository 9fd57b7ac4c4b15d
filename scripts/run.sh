#!/usr/bin/env bash
# Installs what is needed, builds the synthesizer and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSIVOX_TESTS=OFF \
  -DTESSIVOX_BENCH=OFF >/dev/null
cmake --build build -j "$(nproc)" --target tessivox
exec build/src/tessivox
