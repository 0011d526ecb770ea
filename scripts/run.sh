#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNOVA_BUILD_TESTS=OFF >/dev/null
cmake --build build-release --parallel "$(nproc)"
if [ -x build-release/bin/tarnova ]; then
    exec build-release/bin/tarnova "$@"
fi
echo "Built the core library; the program itself is not part of this tree yet."
