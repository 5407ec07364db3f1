#!/usr/bin/env bash
# Checks the package lists of scripts/packages/ against a fresh Debian 12
# machine, which apt simulates from its package lists (run apt-get update
# first): how many packages each list installs there without recommends,
# that run.txt installs fewer than half of what run.txt and test.txt install
# together, and that every library the given binaries load comes from the
# fresh machine or from what the lists install.
# Usage: check.sh [run|all] [BINARY...]   (e.g. check.sh run build-release/stage/NimbraWallpaper)
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
lists=$here/scripts/packages
serve=${1:-run}
shift || true
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The archive's Packages files, as apt keeps them (compressed or not): the
# release first, so that the updates' newer stanzas come after it.
archive() {
  local file updates=()
  for file in /var/lib/apt/lists/*_binary-"$(dpkg --print-architecture)"_Packages*; do
    case $file in
    *-updates_* | *-security_*) updates+=("$file") ;;
    *) /usr/lib/apt/apt-helper cat-file "$file" ;;
    esac
  done
  for file in ${updates[@]+"${updates[@]}"}; do /usr/lib/apt/apt-helper cat-file "$file"; done
}
archive >"$work/available"
[[ -s $work/available ]] || { echo "check.sh: apt has no package lists; run apt-get update" >&2; exit 2; }

# What apt installs for the packages named in the files, on the machine
# whose dpkg status is $1.
installs() {
  local status=$1
  shift
  # shellcheck disable=SC2046  # one package a word
  apt-get install -s --no-install-recommends -o Dir::State::status="$status" \
    $(grep -hvE '^\s*(#|$)' "$@") 2>/dev/null | awk '/^Inst / { print $2 }' | sort -u
}

# A fresh machine: the archive's required and essential packages and apt.
: >"$work/empty"
awk '/^Package:/ { name = $2 } /^(Priority: required|Essential: yes)/ { print name }' "$work/available" |
  sort -u >"$work/required"
echo apt >>"$work/required"
installs "$work/empty" "$work/required" >"$work/fresh"
python3 - "$work/available" "$work/fresh" >"$work/fresh-status" <<'PY'
import re, sys
fresh = set(open(sys.argv[2]).read().split())
stanzas = {}
for stanza in open(sys.argv[1], encoding="utf-8", errors="replace").read().split("\n\n"):
    match = re.search(r"^Package: (\S+)", stanza, re.M)
    if match and match.group(1) in fresh:
        stanzas[match.group(1)] = stanza
for name, stanza in stanzas.items():
    lines = stanza.strip().split("\n")
    print(lines[0] + "\nStatus: install ok installed\n" + "\n".join(lines[1:]) + "\n")
PY

installs "$work/fresh-status" "$lists/run.txt" >"$work/run"
installs "$work/fresh-status" "$lists/run.txt" "$lists/test.txt" >"$work/all"
run=$(wc -l <"$work/run")
all=$(wc -l <"$work/all")
echo "a fresh machine has $(wc -l <"$work/fresh") packages; run.txt installs $run, run.txt and test.txt $all"
status=0
((2 * run < all)) || { echo "run.txt installs not fewer than half of what both install"; status=1; }

# The package that holds a library, by its path or by the path it links to.
owner() {
  dpkg -S "$1" 2>/dev/null || dpkg -S "$(readlink -f "$1")" 2>/dev/null || dpkg -S "/usr$1" 2>/dev/null || true
}
sort -u "$work/fresh" "$work/$serve" >"$work/present"
for binary in "$@"; do
  for library in $(ldd "$binary" | awk '$2 == "=>" && $3 ~ /^\// { print $3 } $1 ~ /^\// { print $1 }' | sort -u); do
    package=$(owner "$library" | head -n1 | cut -d: -f1)
    if ! grep -qx "$package" "$work/present"; then
      echo "$binary: $library comes from ${package:-no package}, which the $serve list does not install"
      status=1
    fi
  done
done
exit "$status"
