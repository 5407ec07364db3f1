#!/usr/bin/env bash
# Installs what is missing, builds optimised and starts the program on its
# sample picture store (build-release/stage).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/install-deps.sh" run
cmake -S "$here" -B "$here/build-release" -DCMAKE_BUILD_TYPE=Release -DNIMBRA_TESTS=OFF
cmake --build "$here/build-release" -j"$(nproc)"
exec "$here/build-release/stage/NimbraWallpaper" "$@"
