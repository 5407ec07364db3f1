#!/usr/bin/env bash
# Checks that the given test executables load no Qt Widgets, and that there
# are at least MINIMUM of them:
#   check_test_links.sh MINIMUM EXECUTABLE...
set -u
minimum=$1
shift
if (($# < minimum)); then
  echo "only $# test executables are meant to run without Qt Widgets; at least $minimum should" >&2
  exit 1
fi
failed=0
for executable in "$@"; do
  if [[ ! -x $executable ]]; then
    echo "$executable: not built" >&2
    failed=1
  elif ! libraries=$(ldd "$executable"); then
    echo "$executable: ldd cannot list what it loads" >&2
    failed=1
  elif grep -q 'libQt6Widgets' <<<"$libraries"; then
    echo "$executable: loads Qt Widgets" >&2
    failed=1
  fi
done
exit $failed
