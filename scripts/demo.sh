#!/usr/bin/env bash
# Builds plavo and runs its main job on the sample installation in examples/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -DPLAVO_WERROR=ON >/dev/null
cmake --build build -j"$(nproc)" --target plavo
build/bin/plavo
