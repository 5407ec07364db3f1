#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each on its seed corpus.
#
#   tests/fuzz/run.sh [SECONDS] [TARGET...] [--jobs N]
#   tests/fuzz/run.sh --merge [TARGET...]
#
# SECONDS (default 60) is the run time of each target; TARGET names one or
# more (ini, http_response, ...; default all). --jobs N runs N fuzzing
# processes of each target side by side, for long runs on a machine with
# cores to spare. The build goes to $NIMBRA_FUZZ_BUILD (default build-fuzz).
# New inputs that found more code go to <build>/corpus/<target>; an input
# that crashes or breaks a property goes to <build>/findings/<target>/, its
# path is printed, and the script fails. Exit 77 when clang is missing.
#
# --merge fuzzes nothing: it moves into corpus/<target>/found/ those inputs
# of <build>/corpus/<target> that reach code the committed corpus does not,
# so that a long run's gains are where the short runs start from.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${NIMBRA_FUZZ_BUILD:-$root/build-fuzz}

seconds=60
jobs=1
mode=fuzz
targets=()
while (($#)); do
  case $1 in
    --jobs) jobs=${2:?--jobs needs a number}; shift 2 ;;
    --merge) mode=merge; shift ;;
    [0-9]*) seconds=$1; shift ;;
    *) targets+=("${1#fuzz_}"); shift ;;
  esac
done
if ((${#targets[@]} == 0)); then
  for source in "$here"/fuzz_*.cpp; do
    name=$(basename "$source" .cpp)
    targets+=("${name#fuzz_}")
  done
fi

if ! command -v clang >/dev/null || ! command -v clang++ >/dev/null; then
  echo "fuzz: SKIP: clang is not installed (see scripts/packages/test.txt)"
  exit 77
fi
if [[ ! -f $build/CMakeCache.txt ]]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNIMBRA_FUZZ=ON \
    -DNIMBRA_TESTS=OFF >/dev/null || exit 1
fi
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/#/fuzz_}" >/dev/null || {
  echo "fuzz: the build failed" >&2
  cmake --build "$build" -j1 --target "${targets[@]/#/fuzz_}" 2>&1 | grep -m20 -E 'error|Error' >&2
  exit 1
}

# Files the parsers write go to memory when there is such a folder.
[[ -d /dev/shm && -w /dev/shm ]] && export TMPDIR=/dev/shm
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Stack traces of a finding name functions and lines only with a symbolizer.
for symbolizer in llvm-symbolizer /usr/lib/llvm-14/bin/llvm-symbolizer; do
  if command -v "$symbolizer" >/dev/null; then
    export ASAN_SYMBOLIZER_PATH=${ASAN_SYMBOLIZER_PATH:-$(command -v "$symbolizer")}
    break
  fi
done

# The same bounds for fuzzing and merging, so an input one accepts the other
# does not drop as too slow, too big or too long.
limits=(-rss_limit_mb=2048 -timeout=10 -max_len=65536)

# libFuzzer names what a merge adds by its hash; anything at the top of the
# committed folder that was not there before the merge is new.
merge_target() {
  local target=$1 committed=$here/corpus/$1 logs=$build/logs/$1
  mkdir -p "$committed/found" "$logs" "$build/corpus/$target"
  local -A before=()
  local path
  for path in "$committed"/*; do before[$path]=1; done
  "$build/tests/fuzz/fuzz_$target" -merge=1 "${limits[@]}" "$committed" \
    "$build/corpus/$target" >"$logs/merge.log" 2>&1 || {
    echo "fuzz: merging $target failed; log in $logs/merge.log" >&2
    return 1
  }
  local added=0
  for path in "$committed"/*; do
    if [[ -f $path && -z ${before[$path]:-} ]]; then
      mv "$path" "$committed/found/"
      added=$((added + 1))
    fi
  done
  echo "fuzz: $target: $added new input(s) in tests/fuzz/corpus/$target/found"
}

if [[ $mode == merge ]]; then
  status=0
  for target in "${targets[@]}"; do merge_target "$target" || status=1; done
  exit $status
fi

failed=()
for target in "${targets[@]}"; do
  binary=$build/tests/fuzz/fuzz_$target
  corpus=$build/corpus/$target
  findings=$build/findings/$target
  logs=$build/logs/$target
  mkdir -p "$corpus" "$findings" "$logs"
  rm -f "$logs"/*.log "$findings"/*
  options=(-max_total_time="$seconds" -artifact_prefix="$findings/" -print_final_stats=1
           "${limits[@]}")
  ((jobs > 1)) && options+=(-jobs="$jobs" -workers="$jobs")
  echo "fuzz: $target for ${seconds}s, $jobs process(es)"
  (cd "$logs" && "$binary" "${options[@]}" "$corpus" "$here/corpus/$target" >"$logs/main.log" 2>&1)
  status=$?
  # The last coverage line and the totals of each process: with --jobs, each
  # job has a log of its own, which the main log repeats.
  shown=("$logs"/fuzz-*.log)
  [[ -e ${shown[0]} ]] || shown=("$logs/main.log")
  for log in "${shown[@]}"; do
    grep -E '^#[0-9]+.*(DONE|cov:)' "$log" | tail -1
    grep -E 'stat::number_of_executed_units|stat::average_exec_per_sec' "$log"
  done | sed "s/^/  $target: /"
  found=$(find "$findings" -type f 2>/dev/null)
  if ((status != 0)) || [[ -n $found ]]; then
    failed+=("$target")
    echo "fuzz: $target failed (exit $status); log in $logs" >&2
    grep -h -m5 -E 'fuzz: property broken|ERROR: (AddressSanitizer|libFuzzer|LeakSanitizer)|runtime error' \
      "$logs"/*.log >&2
    for input in $found; do echo "fuzz: input kept in $input" >&2; done
  fi
done
if ((${#failed[@]})); then
  echo "fuzz: findings in ${failed[*]}" >&2
  exit 1
fi
echo "fuzz: no findings in ${targets[*]}"
