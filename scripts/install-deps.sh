#!/usr/bin/env bash
# Installs the Debian packages of the named lists (scripts/packages/NAME.txt:
# "run" for building and running, "test" for what the tests add; both when
# none is named), skipping those already present. As root it uses apt-get
# directly, otherwise through sudo.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
lists=("$@")
[ ${#lists[@]} -gt 0 ] || lists=(run test)
wanted=()
for list in "${lists[@]}"; do
  file=$here/packages/$list.txt
  [ -f "$file" ] || { echo "install-deps.sh: no package list $file" >&2; exit 2; }
  mapfile -t -O "${#wanted[@]}" wanted < <(grep -vE '^\s*(#|$)' "$file")
done
missing=()
for package in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
