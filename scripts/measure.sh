#!/usr/bin/env bash
# Measures whole runs of "plavo --set NAME" in one hyperfine run: on the sample installation
# and on a generated map of 100,000 projects, side by side with the floor programs (/bin/true,
# an empty program linked against the GUI toolkit's shared libraries, the same constructing
# the toolkit's application object, a cat of the large map) and with peers doing the same
# job (setting KESTRO_PROJECT for a project): Environment Modules' and Lmod's "load" and
# direnv's "exec". Then the peak memory of the large run, and the ratios against the goals.
# Usage: scripts/measure.sh [build-dir]
#
# The peers come from Debian: lmod and direnv are installed; environment-modules cannot be
# installed beside lmod, so its package is downloaded and unpacked into the build directory.
# A peer that cannot be had (no network) is left out with a note.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
scripts/deps.sh hyperfine time
cmake -S . -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" --target plavo >/dev/null
plavo=$(realpath "$build/bin/plavo")

work=$(mktemp -d "${TMPDIR:-/tmp}/plavo-measure-XXXXXX")
trap 'rm -rf "$work"' EXIT

# The floor programs.
# shellcheck disable=SC2046
g++ -O2 -std=c++17 bench/floor/EmptyFoxMain.cpp -o "$work/empty-fox" \
  -Wl,--no-as-needed $(pkg-config --cflags --libs fox) 2>/dev/null

me=$(id -un)
# Both installations live under $work/current, a link that the preparation of each timed run
# points at the right one: hyperfine gives all commands one environment, and plavo is run
# directly, not through env.
mkdir -p "$work/registry"
cat > "$work/registry/HKEY_LOCAL_MACHINE.reg" <<HIVE
REGEDIT4

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestro\\Resources]
"InstallDir"="$work/current"
"ConfigurationDir"="$work/current/config"
HIVE
# The sample installation, with the sample user alice replaced by the current user.
mkdir -p "$work/sample/log/temp"
cp -R examples/config "$work/sample/"
sed -i "s/\balice\b/$me/g" "$work/sample/config/projectmap.kconf"

# A large installation: 100,000 list projects of three users each (the current user in every
# tenth), every thousandth project global instead.
mkdir -p "$work/large/config" "$work/large/log/temp"
scripts/make-large-map.sh "$work/large/config/projectmap.kconf" "$me"
map="$work/large/config/projectmap.kconf"
map_bytes=$(stat -c %s "$map")

export KESTRO_REGISTRY_DIR="$work/registry" DISPLAY=
use() { ln -sfn "$work/$1" "$work/current"; }
# Each run must succeed: a failing run would measure an error path.
use sample
"$plavo" --set compiler
use large
"$plavo" --set project050000
grep -q "project=project050000" "$work"/large/log/temp/project_id-*.idval

# The peers, each setting KESTRO_PROJECT=compiler in its own way. The module files of both
# module systems lie in one folder: each picks its own format.
peer_names=() peer_commands=()
scripts/deps.sh lmod direnv >/dev/null 2>&1 || echo "note: lmod or direnv could not be installed"
mkdir -p "$work/modules" "$work/home" "$work/envrc"
printf '#%%Module1.0\nsetenv KESTRO_PROJECT compiler\n' > "$work/modules/compiler"
printf 'setenv("KESTRO_PROJECT", "compiler")\n' > "$work/modules/compiler.lua"
export MODULEPATH="$work/modules" HOME="$work/home" XDG_DATA_HOME="$work/home/data" \
       XDG_CONFIG_HOME="$work/home/config" XDG_CACHE_HOME="$work/home/cache"
peers="$(realpath "$build")/peers"
modulecmd=/usr/lib/modulecmd.tcl
if [ ! -f "$modulecmd" ] && [ ! -f "$peers/usr/lib/modulecmd.tcl" ]; then
  (mkdir -p "$peers" && cd "$peers" && apt-get download environment-modules >/dev/null 2>&1 &&
   dpkg -x environment-modules_*.deb .) || echo "note: environment-modules could not be unpacked"
fi
if [ ! -f "$modulecmd" ] && [ -f "$peers/usr/lib/modulecmd.tcl" ]; then
  modulecmd="$peers/usr/lib/modulecmd.tcl"
  # Its Tcl extension is looked for under /usr/lib; point it at the unpacked one.
  export MODULES_TCL_EXT_LIB="$peers/usr/lib/x86_64-linux-gnu/libtclenvmodules.so"
fi
if [ -f "$modulecmd" ] && command -v tclsh >/dev/null &&
   tclsh "$modulecmd" sh load compiler | grep -q "KESTRO_PROJECT=compiler"; then
  peer_names+=("Environment Modules load") peer_commands+=("tclsh $modulecmd sh load compiler")
fi
lmod=/usr/share/lmod/lmod/libexec/lmod
if [ -x "$lmod" ] && "$lmod" sh load compiler | grep -q "KESTRO_PROJECT=compiler"; then
  peer_names+=("Lmod load") peer_commands+=("$lmod sh load compiler")
fi
if command -v direnv >/dev/null; then
  echo "export KESTRO_PROJECT=compiler" > "$work/envrc/.envrc"
  direnv allow "$work/envrc"
  if [ "$(direnv exec "$work/envrc" printenv KESTRO_PROJECT 2>/dev/null)" = compiler ]; then
    peer_names+=("direnv exec") peer_commands+=("$(command -v direnv) exec $work/envrc /bin/true")
  fi
fi

# One hyperfine run; every command has its own preparation (untimed).
args=()
add() {  # add NAME INSTALLATION COMMAND
  args+=(-n "$1" --prepare "ln -sfn $work/${2:-sample} $work/current" "$3")
}
add "/bin/true" "" /bin/true
add "cat of the large map" "" "cat $map"
add "empty main + FOX" "" "$work/empty-fox"
add "empty main + FOX + FXApp" "" "$work/empty-fox app"
add "plavo --set (sample map)" sample "$plavo --set compiler"
add "plavo --set (100000 projects)" large "$plavo --set project050000"
for i in "${!peer_names[@]}"; do add "${peer_names[$i]}" "" "${peer_commands[$i]}"; done
hyperfine --warmup 5 --min-runs 30 -N --export-csv "$work/times.csv" "${args[@]}" >&2

use large
peak_kb=$(/usr/bin/time -f %M "$plavo" --set project050000 2>&1 >/dev/null | tail -1)

# The table (times in ms; CPU is user + system, steadier than wall time on a busy machine)
# and the ratios against the goals.
awk -F, -v peak="$peak_kb" -v bytes="$map_bytes" '
  NR == 1 { next }
  {
    name[NR] = $1; wall[$1] = $2 * 1000; sd = $3 * 1000; cpu[$1] = ($5 + $6) * 1000
    row[NR] = sprintf("| `%s` | %.1f ± %.1f | %.1f (%.1f user + %.1f system) |",
                      $1, wall[$1], sd, cpu[$1], $5 * 1000, $6 * 1000)
    n = NR
  }
  function ratio(a, b, goal, what) {
    printf "%-58s wall %5.2f  CPU %5.2f  (goal %s)\n", what, wall[a] / wall[b], cpu[a] / cpu[b], goal
  }
  END {
    print "| Command | Mean wall [ms] | User + system CPU [ms] |"
    print "|:---|---:|---:|"
    for (i = 2; i <= n; i++) print row[i]
    print ""
    s = "plavo --set (sample map)"; l = "plavo --set (100000 projects)"
    ratio(s, "empty main + FOX + FXApp", "at most 0.7", "sample run / empty main + FOX + FXApp:")
    for (i = 2; i <= n; i++) {
      if (name[i] == "/bin/true" || name[i] ~ /^(cat|empty|plavo)/) continue
      ratio(name[i], s, "at least 5", name[i] " / sample run:")
    }
    ratio(l, "cat of the large map", "at most 15", "100,000-project run / cat of its map:")
    printf "Map of 100,000 projects: %d bytes; peak memory of its run: %d KiB, %.2f times the map (goal: at most 5)\n",
           bytes, peak, peak * 1024 / bytes
  }' "$work/times.csv"
