#!/usr/bin/env bash
# Checks that the program loads none of the given libraries when it starts:
# each is opened on first use instead, or not at all, so that a start does not
# pay for it.
#   check_program_links.sh EXECUTABLE LIBRARY...
set -u
executable=$1
shift
libraries=$(ldd "$executable") || { echo "$executable: ldd cannot list what it loads" >&2; exit 1; }
failed=0
for library in "$@"; do
  if grep -q "$library" <<<"$libraries"; then
    echo "$executable: loads $library at start" >&2
    failed=1
  fi
done
exit $failed
