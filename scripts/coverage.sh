#!/usr/bin/env bash
# Builds with gcov instrumentation, runs every test and prints the line coverage of the core
# library and of the program, file by file. Usage: scripts/coverage.sh [build-dir]
# The full report, line by line, is written to <build-dir>/coverage/index.html.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh gcovr
build=${1:-build-coverage}
cmake -S . -B "$build" -DPLAVO_COVERAGE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
echo "Building in $build and running the tests ..."
cmake --build "$build" -j"$(nproc)" >"$build/coverage-build.log" 2>&1 ||
  { tail -n 30 "$build/coverage-build.log"; echo "Build failed." >&2; exit 1; }
# Counts of an earlier run would add up with this one.
find "$build" -name '*.gcda' -delete
ctest --test-dir "$build" -j"$(nproc)" >"$build/coverage-tests.log" 2>&1 ||
  { tail -n 30 "$build/coverage-tests.log"; echo "Tests failed; coverage not reported." >&2; exit 1; }
mkdir -p "$build/coverage"
# Our sources only: not the tests, not the fuzz targets, not code generated into the build.
gcovr --root . --object-directory "$build" --filter 'libraries/corelib/source/' --filter 'tool/' \
  --exclude '.*/tests/' --json "$build/coverage/coverage.json" \
  --html-details "$build/coverage/index.html" >/dev/null
for component in "core library:libraries/corelib/source/" "program:tool/"; do
  echo "== ${component%%:*}"
  gcovr --root . --add-tracefile "$build/coverage/coverage.json" --filter "${component#*:}" \
    --exclude '.*/tests/' | sed -n '/^File/,$p'
done
