#!/usr/bin/env bash
# Prints why each test of the last ctest run in a build folder was skipped:
# the "SKIP: reason" line that a skipping test writes, which ctest does not
# show for a skipped test. Argument: the build folder (default: the current one).
set -euo pipefail
log=${1:-.}/Testing/Temporary/LastTest.log
[ -f "$log" ] || exit 0
awk '/^[0-9]+\/[0-9]+ Test: / { name = $3 }
     /SKIP: / { sub(/^.*SKIP: /, ""); print "skipped " name ": " $0 }' "$log"
