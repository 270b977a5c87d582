#!/usr/bin/env bash
# Fails when a C++ file of the tree differs from .clang-format's form (Debian's clang-format).
# Usage: scripts/check-format.sh [--fix]     --fix rewrites the files instead.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh clang-format
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
else
  clang-format --dry-run --Werror "${files[@]}"
fi
