#!/usr/bin/env bash
# The manual page renders without a warning, its header names the version the program
# reports, and its OPTIONS section names every option that the program's --help lists, so an
# option added to the program cannot go undocumented.
# Usage: check-manual.sh <program> <page>
set -euo pipefail
program=$1
page=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

warnings=$(LANG=C MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man --warnings reports: $warnings"

# ".TH PLAVO 1 date "Plavo 6.3.0.0" ..." for a program that prints "Version=6.3.0.0".
version=$("$program" --version | sed -n 's/^Version=//p')
grep -qE "^\.TH [^ ]+ [1-9] \"[^\"]*\" \"[^\"]* ${version//./\\.}\"" "$page" ||
  fail "the .TH line of $page does not name version $version"

# The options block of the usage: from "Options:" to the first empty line; each option line
# holds its spellings before the colon ("  -s <arg>", "    --set <arg>   : ...").
options=$("$program" --help | awk '/^Options:/ { on = 1; next } on && /^$/ { exit } on' |
          cut -d: -f1 | grep -oE -- '(^| )--?[a-z?][a-z-]*' | tr -d ' ')
[ "$(wc -l <<<"$options")" -ge 4 ] || fail "found too few options in --help: $options"

# Wide lines, so that no option is hyphenated or wrapped away.
section=$(LANG=C MANWIDTH=200 man -l "$page" | awk '/^OPTIONS/ { on = 1; next } on && /^[A-Z]/ { exit } on')
missing=()
for option in $options; do
  grep -qE -- "(^|[ ,(])$(sed 's/?/\\?/' <<<"$option")([ ,)]|$)" <<<"$section" || missing+=("$option")
done
[ ${#missing[@]} -eq 0 ] || fail "OPTIONS of $page lacks: ${missing[*]}"
echo "OPTIONS documents:" $options
