#!/usr/bin/env bash
# The manual page renders without a warning, and its OPTIONS section names every option that
# the program's --help lists, so an option added to the program cannot go undocumented.
# Usage: check-manual.sh <program> <page>
set -euo pipefail
program=$1
page=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

warnings=$(LANG=C MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man --warnings reports: $warnings"

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
