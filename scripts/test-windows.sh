#!/usr/bin/env bash
# Runs the Windows builds' tests under Wine, each build in a private Wine prefix of its build
# folder (build-win*/wineprefix), and ends with CTest's summary. Build first with
# scripts/build-windows.sh.
# Usage: scripts/test-windows.sh [win32] [win64]      (both when none is named)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/wine-env.sh
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(win32 win64)
status=0
for preset in "${presets[@]}"; do
  echo "== $preset: tests under Wine"
  wine_env "$preset"
  # Create the prefix once, before tests run side by side: two first starts would race.
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$WINE" wineboot --init >/dev/null 2>&1 || true
    wineserver --wait
  fi
  # A private X server gives Wine a window system, so the program's message boxes show and the
  # end-to-end tests can read and close them.
  xvfb-run --auto-servernum --server-args="-screen 0 1024x768x24" \
    ctest --preset "$preset" -j"$(nproc)" || status=1
  wineserver --kill || true
done
exit $status
