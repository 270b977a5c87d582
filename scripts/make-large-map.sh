#!/usr/bin/env bash
# Writes the generated map the measurements use: 100,000 list projects of three users each
# (USER, the current user by default, in every tenth), every thousandth project global instead.
# Usage: scripts/make-large-map.sh FILE [USER]
set -euo pipefail
awk -v me="${2:-$(id -un)}" 'BEGIN {
  print "projectmap {\n plavo {\n  projects {"
  for (i = 0; i < 100000; i++) {
    name = sprintf("project%06d", i)
    if (i % 1000 == 0) { printf "   %s(global) {\n   }\n", name; continue }
    printf "   %s {\n    type=list\n    user%d\n    user%d(default)\n", name, i % 97, i % 89
    if (i % 10 == 0) printf "    %s\n", me
    print "   }"
  }
  print "  }\n }\n}"
}' > "$1"
