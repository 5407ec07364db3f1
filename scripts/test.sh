#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test (unit, widget, network,
# integration and end-to-end).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/install-deps.sh"
cmake -S "$here" -B "$here/build-test" -DCMAKE_BUILD_TYPE=Debug -DNIMBRA_SANITIZE=ON
cmake --build "$here/build-test" -j"$(nproc)"
cd "$here/build-test"
ctest --output-on-failure "$@"
