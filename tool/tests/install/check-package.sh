#!/usr/bin/env bash
# Builds the Debian package from a finished build, unpacks it into a temporary root and uses
# what it installed: both programs against the installed sample installation, their manual
# pages through man, the desktop entry and its icon.
# Usage: check-package.sh <build-dir>
set -euo pipefail
build=$(realpath "$1")
work=$(mktemp -d "${TMPDIR:-/tmp}/plavo-package-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# A package directory of its own, so that the test never meets the package of a manual
# "cpack" run or of a test running at the same time.
cpack --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack failed"; }
debs=("$work"/package/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb, found: ${debs[*]}"
deb=${debs[0]}
echo "== $(basename "$deb")"
dpkg-deb -f "$deb"
root=$work/root
dpkg-deb -x "$deb" "$root"
plavo=$root/usr/bin/plavo
admin=$root/usr/bin/plavo-admin
[ -x "$plavo" ] || fail "no usr/bin/plavo in the package"
[ -x "$admin" ] || fail "no usr/bin/plavo-admin in the package"

# Every shared library an installed program needs comes from a package the .deb depends on:
# the dependency list is computed, not written by hand, and must follow the linking.
depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/(.*//; s/ //g')
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
for program in "$plavo" "$admin"; do
  for library in $(objdump -p "$program" | awk '$1 == "NEEDED" { print $2 }'); do
    owner=$(dpkg-query -S "*/$multiarch/$library" 2>/dev/null | head -n1 | cut -d: -f1 || true)
    [ -n "$owner" ] || fail "no installed package holds $library ($(basename "$program"))"
    grep -qx "$owner" <<<"$depends" ||
      fail "$library of $(basename "$program") comes from $owner, which Depends does not name: $depends"
  done
done

# The installed programs report the package's version.
version=$(dpkg-deb -f "$deb" Version)
for program in "$plavo" "$admin"; do
  [ "$("$program" --version)" = "Version=$version" ] ||
    fail "$(basename "$program") --version says '$("$program" --version)', the package is $version"
done

# The installed sample installation, copied to where the program may write, with its hive.
sample=$work/sample
cp -R "$root/usr/share/doc/plavo/examples" "$sample"
set +e
KESTRO_SAMPLE=$sample KESTRO_REGISTRY_DIR=$sample/registry "$plavo" --set handbook \
  >"$work/out" 2>&1
status=$?
set -e
[ "$status" -eq 0 ] || { cat "$work/out"; fail "plavo --set handbook exited with $status"; }
ids=("$sample"/log/temp/project_id-"$(id -un)"-*.idval)
[ ${#ids[@]} -eq 1 ] && [ -f "${ids[0]}" ] || fail "expected one ID file, found: ${ids[*]}"
printf '%s' "$(cat "${ids[0]}")" | grep -qzE '^time=[1-9][0-9]*'$'\n''project=handbook$' ||
  fail "ID file holds: $(cat "${ids[0]}")"

# plavo-admin finds the same installation and takes its sample map as clean.
set +e
KESTRO_SAMPLE=$sample KESTRO_REGISTRY_DIR=$sample/registry "$admin" check >"$work/out" 2>&1
status=$?
set -e
expected="$sample/config/projectmap.kconf: no problems found"
[ "$status" -eq 0 ] && [ "$(cat "$work/out")" = "$expected" ] ||
  { cat "$work/out"; fail "plavo-admin check exited with $status, expected 0 and: $expected"; }

# man finds each page in the package's manual directory and renders it.
for name in plavo:"plavo - register the project" \
            plavo-admin:"plavo-admin - check plavo's project map"; do
  program=${name%%:*}
  page=$(MANPATH=$root/usr/share/man man -w "$program")
  [ "$page" = "$root/usr/share/man/man1/$program.1.gz" ] || fail "man -w $program gives '$page'"
  shown=$(MANPATH=$root/usr/share/man MANWIDTH=80 man "$program" 2>&1)
  grep -qF "${name#*:}" <<<"$shown" || fail "man $program does not show the page: $shown"
done

# The desktop entry is valid, runs the installed program and names an installed icon.
entry=$root/usr/share/applications/plavo.desktop
desktop-file-validate "$entry" || fail "desktop-file-validate rejects plavo.desktop"
exec_line=$(sed -n 's/^Exec=//p' "$entry")
[ -x "$root/usr/bin/${exec_line%% *}" ] || fail "Exec=$exec_line names no installed program"
icon=$(sed -n 's/^Icon=//p' "$entry")
[ -f "$root/usr/share/icons/hicolor/48x48/apps/$icon.png" ] ||
  fail "no 48x48 icon $icon in the hicolor theme"
echo "== package contents"
(cd "$root" && find . -type f | sort)
