#!/usr/bin/env bash
# Builds the fuzz targets with clang (preset fuzz, into build-fuzz/) and runs each for SECONDS
# (default 60) from its seeds in fuzz/corpus/<target>/. Inputs that reach new code collect in
# build-fuzz/corpus/<target>/; an input that crashes a target is kept in build-fuzz/crashes/
# and the script fails once every target has run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
bash scripts/setup.sh

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

failed=()
while read -r target; do
  [[ -n $target ]] || continue
  found=build-fuzz/corpus/$target
  crashes=build-fuzz/crashes/$target
  log=build-fuzz/fuzz-$target.log
  mkdir -p "$found" "$crashes"
  if build-fuzz/bin/fuzz-"$target" -max_total_time="$seconds" -timeout=20 -print_final_stats=1 \
    -artifact_prefix="$crashes/" "$found" "fuzz/corpus/$target" >"$log" 2>&1; then
    result="no fault"
  else
    result="FAULT, input in $crashes (log $log)"
    failed+=("$target")
    grep -A30 -m1 "ERROR:\|deadly signal\|Abort" "$log" || tail -30 "$log"
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  printf 'fuzz-%-14s %10s executions in %ss: %s\n' "$target" "${runs:-?}" "$seconds" "$result"
done <build-fuzz/fuzz-targets.txt

((${#failed[@]} == 0)) || { echo "fuzz targets that found a fault: ${failed[*]}"; exit 1; }
