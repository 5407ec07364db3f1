#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer, warnings as errors, and runs every test (unit,
# widget, network, integration and end-to-end), then says why any test was
# skipped.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/install-deps.sh" run test
cmake -S "$here" -B "$here/build-test" -DCMAKE_BUILD_TYPE=Debug -DNIMBRA_SANITIZE=ON -DNIMBRA_WERROR=ON
cmake --build "$here/build-test" -j"$(nproc)"
cd "$here/build-test"
mkdir -p Testing
status=0
ctest --output-on-failure "$@" | tee Testing/ctest-output.txt || status=$?
reasons=$(bash "$here/scripts/skip-reasons.sh" .)
if [ -n "$reasons" ]; then
  echo "$reasons"
  # The summary stays the last line.
  grep -E '^[0-9]+% tests passed' Testing/ctest-output.txt || true
fi
exit "$status"
