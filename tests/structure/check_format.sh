#!/usr/bin/env bash
# Every C++ source is laid out as the root .clang-format says, so that a
# change shows only what it changes. Argument: the source folder.
set -uo pipefail
cd "${1:?usage: check_format.sh SOURCE_DIR}" || exit 2
command -v clang-format >/dev/null || { echo "format: clang-format is not installed" >&2; exit 1; }
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t sources < <(git ls-files '*.cpp' '*.h')
else
  mapfile -t sources < <(find . -path ./build\* -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
fi
if ! clang-format --dry-run --Werror "${sources[@]}"; then
  echo "format: run clang-format -i on the files above" >&2
  exit 1
fi
echo "format: ${#sources[@]} sources as .clang-format lays them out"
