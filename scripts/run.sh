#!/usr/bin/env bash
# Installs what is needed, builds everything the package holds (synthesizer,
# renderer, plugin, manual pages) and starts the synthesizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSIVOX_TESTS=OFF \
  -DTESSIVOX_BENCH=OFF >/dev/null
cmake --build build -j "$(nproc)"
exec build/src/tessivox
