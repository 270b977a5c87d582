#!/usr/bin/env bash
# Measures whole runs of plavo-admin's check and list on the generated map of 100,000
# projects that scripts/measure.sh uses (same generator), with plavo --set beside them for
# comparison. Goal: each under 0.3 s. Usage: scripts/measure-admin.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
scripts/deps.sh hyperfine
cmake -S . -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" --target plavo plavo-admin >/dev/null
plavo=$(realpath "$build/bin/plavo")
admin=$(realpath "$build/bin/plavo-admin")

work=$(mktemp -d "${TMPDIR:-/tmp}/plavo-measure-admin-XXXXXX")
trap 'rm -rf "$work"' EXIT

me=$(id -un)
# 100,000 list projects of three users each (the current user in every tenth), every
# thousandth project global instead: scripts/measure.sh's map.
mkdir -p "$work/large/registry" "$work/large/config" "$work/large/log/temp"
cat > "$work/large/registry/HKEY_LOCAL_MACHINE.reg" <<HIVE
REGEDIT4

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestro\\Resources]
"InstallDir"="$work/large"
"ConfigurationDir"="$work/large/config"
HIVE
scripts/make-large-map.sh "$work/large/config/projectmap.kconf" "$me"
map="$work/large/config/projectmap.kconf"

export KESTRO_REGISTRY_DIR="$work/large/registry"
# Each run must do the real work: check finds the map's warnings (every user is marked
# default in many projects, so it ends with 1), list finds the current user's projects.
set +e
"$admin" check "$map" >"$work/check.txt"
status=$?
set -e
[ "$status" -eq 1 ] || { echo "check ended with $status" >&2; exit 1; }
tail -1 "$work/check.txt"
"$admin" list | tail -1

hyperfine --warmup 3 --min-runs 20 -N -i --export-markdown "$work/times.md" \
  -n "plavo --set (100,000 projects)" "$plavo --set project050000" \
  -n "plavo-admin check (100,000 projects)" "$admin check $map" \
  -n "plavo-admin check --json (100,000 projects)" "$admin check --json $map" \
  -n "plavo-admin list (100,000 projects)" "$admin list" \
  -n "plavo-admin list --user user7 (100,000 projects)" "$admin list --user user7"
echo
cat "$work/times.md"
