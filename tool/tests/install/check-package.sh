#!/usr/bin/env bash
# Builds the Debian package from a finished build, unpacks it into a temporary root and uses
# what it installed: the program against the installed sample installation, the manual page
# through man, the desktop entry and its icon.
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
[ -x "$plavo" ] || fail "no usr/bin/plavo in the package"

# Every shared library the installed program needs comes from a package the .deb depends on:
# the dependency list is computed, not written by hand, and must follow the linking.
depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/(.*//; s/ //g')
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
for library in $(objdump -p "$plavo" | awk '$1 == "NEEDED" { print $2 }'); do
  owner=$(dpkg-query -S "*/$multiarch/$library" 2>/dev/null | head -n1 | cut -d: -f1 || true)
  [ -n "$owner" ] || fail "no installed package holds $library"
  grep -qx "$owner" <<<"$depends" ||
    fail "$library comes from $owner, which Depends does not name: $depends"
done

# The installed program reports the package's version.
version=$(dpkg-deb -f "$deb" Version)
[ "$("$plavo" --version)" = "Version=$version" ] ||
  fail "plavo --version says '$("$plavo" --version)', the package is $version"

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

# man finds the page in the package's manual directory and renders it.
page=$(MANPATH=$root/usr/share/man man -w plavo)
[ "$page" = "$root/usr/share/man/man1/plavo.1.gz" ] || fail "man -w plavo gives '$page'"
MANPATH=$root/usr/share/man MANWIDTH=80 man plavo 2>&1 | grep -q "plavo - register the project" ||
  fail "man plavo does not show the page"

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
