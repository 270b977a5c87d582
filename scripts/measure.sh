#!/usr/bin/env bash
# Measures whole runs of "plavo --set NAME": on the sample installation and on a generated map
# of 100,000 projects, side by side with /bin/true and with an empty program linked against
# the GUI toolkit (the floor: loading the toolkit's shared libraries), plus the peak memory
# of the large run. Usage: scripts/measure.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
scripts/deps.sh hyperfine time
cmake -S . -B "$build" -DPLAVO_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target plavo >/dev/null
plavo=$(realpath "$build/bin/plavo")

work=$(mktemp -d "${TMPDIR:-/tmp}/plavo-measure-XXXXXX")
trap 'rm -rf "$work"' EXIT

# The floor programs.
# shellcheck disable=SC2046
g++ -O2 -std=c++17 bench/floor/EmptyFoxMain.cpp -o "$work/empty-fox" \
  -Wl,--no-as-needed $(pkg-config --cflags --libs fox) 2>/dev/null

me=$(id -un)
# The sample installation, with the sample user alice replaced by the current user.
cp -R examples "$work/sample"
sed -i "s/\balice\b/$me/g" "$work/sample/config/projectmap.kconf"

# A large installation: 100,000 list projects of three users each (the current user in every
# tenth), every thousandth project global instead.
mkdir -p "$work/large/registry" "$work/large/config" "$work/large/log/temp"
cat > "$work/large/registry/HKEY_LOCAL_MACHINE.reg" <<HIVE
REGEDIT4

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestro\\Resources]
"InstallDir"="$work/large"
"ConfigurationDir"="$work/large/config"
HIVE
awk -v me="$me" 'BEGIN {
  print "projectmap {\n plavo {\n  projects {"
  for (i = 0; i < 100000; i++) {
    name = sprintf("project%06d", i)
    if (i % 1000 == 0) { printf "   %s(global) {\n   }\n", name; continue }
    printf "   %s {\n    type=list\n    user%d\n    user%d(default)\n", name, i % 97, i % 89
    if (i % 10 == 0) printf "    %s\n", me
    print "   }"
  }
  print "  }\n }\n}"
}' > "$work/large/config/projectmap.kconf"
map_bytes=$(stat -c %s "$work/large/config/projectmap.kconf")

sample_env="KESTRO_SAMPLE=$work/sample KESTRO_REGISTRY_DIR=$work/sample/registry"
large_env="KESTRO_REGISTRY_DIR=$work/large/registry"
# Each run must succeed: a failing run would measure an error path.
env $sample_env DISPLAY= "$plavo" --set compiler
env $large_env DISPLAY= "$plavo" --set project050000
grep -q "project=project050000" "$work"/large/log/temp/project_id-*.idval

hyperfine --warmup 5 --min-runs 30 -N --export-markdown "$work/times.md" \
  -n "/bin/true" "/bin/true" \
  -n "empty main + FOX" "$work/empty-fox" \
  -n "empty main + FOX + FXApp" "$work/empty-fox app" \
  -n "plavo --set (sample map)" "env $sample_env DISPLAY= $plavo --set compiler" \
  -n "plavo --set (100,000 projects)" "env $large_env DISPLAY= $plavo --set project050000"

peak_kb=$(env $large_env DISPLAY= /usr/bin/time -f %M "$plavo" --set project050000 2>&1 >/dev/null | tail -1)
echo
cat "$work/times.md"
echo
echo "Map of 100,000 projects: $map_bytes bytes; peak memory of its run: $peak_kb KiB" \
     "($(awk -v p="$peak_kb" -v m="$map_bytes" 'BEGIN { printf "%.1f", p * 1024 / m }') times the map)"
