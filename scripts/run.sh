#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNOVA_BUILD_TESTS=OFF >/dev/null
cmake --build build-release --parallel "$(nproc)"
exec build-release/bin/tarnova "$@"
