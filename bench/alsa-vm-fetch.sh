#!/usr/bin/env bash
# Fetches of a Program bank from the simulated Andromeda on the raw side of a virtual MIDI card,
# in the VM of scripts/alsa-vm.sh (the kernel's own ALSA sequencer), the path a USB MIDI
# interface takes:
#   wire   one fetch with the instrument answering at the MIDI wire rate, a few bytes at a time;
#          prints the time from the request leaving to the last dump arriving, against the
#          bytes' own time on a cable (300,800 bytes at 3,125 bytes/s: 96.26 s).
#   burst  RUNS fetches (default 20) with each bank written in one burst, two busy processes
#          beside them; counts the fetches that end byte-exact, with no file and a reason, and
#          with a wrong file or a file and a failure (both faults).
#
#   bash bench/alsa-vm-fetch.sh wire|burst [--runs N] [--build DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
mode=${1:?usage: $0 wire|burst [--runs N] [--build DIR]}
shift
runs=20
build=$here/build
while (($#)); do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --build) build=$(cd "$2" && pwd); shift 2 ;;
    --inside) inside=1; shift ;;  # as run by itself inside the VM
    *) echo "usage: $0 wire|burst [--runs N] [--build DIR]" >&2; exit 2 ;;
  esac
done

if [[ -z ${inside:-} ]]; then
  for program in bin/quorle-cli tests/quorle-raw-andromeda; do
    [[ -x $build/$program ]] || { echo "$build/$program is missing: build it first" >&2; exit 2; }
  done
  exec bash "$here/scripts/alsa-vm.sh" --build-dir "$build" --timeout 5400 -- \
    bash "$here/bench/alsa-vm-fetch.sh" "$mode" --runs "$runs" --build "$build" --inside
fi

work=$(mktemp -d)
raw=$build/tests/quorle-raw-andromeda
"$raw" --print-bank program 0 >"$work/expected.syx"
args=(--device /dev/snd/midiC0D1)
[[ $mode == burst ]] && args+=(--burst)
"$raw" "${args[@]}" >"$work/raw.log" 2>&1 &
pids=($!)
load=()
if [[ $mode == burst ]]; then
  for _ in 1 2; do
    sh -c 'while :; do :; done' &
    load+=($!)
  done
fi
trap 'kill "${pids[@]}" "${load[@]}" 2>/dev/null' EXIT
device=$("$build/bin/quorle-cli" devices | sed -n '/^MIDI inputs/,/^MIDI/p' |
  sed -n 's/^ *[0-9]\+  \(.*:VirMIDI 0-1 [0-9]\+:[0-9]\+\)$/\1/p' | head -1)

fetch() {
  rm -f "$work/bank.syx"
  "$build/bin/quorle-cli" --library "$work/library.sqlite" --in "$device" --out "$device" \
    --timeout 30 --midi-log "$work/midi.log" get-program-bank --bank 0 -o "$work/bank.syx" \
    >"$work/out" 2>"$work/err"
}

if [[ $mode == wire ]]; then
  start=$EPOCHREALTIME
  status=0
  fetch || status=$?
  end=$EPOCHREALTIME
  cmp -s "$work/bank.syx" "$work/expected.syx" && result="byte-exact" || result="NOT byte-exact"
  # The log's first '>' is the request; its last '<' the bank's last dump.
  first=$(awk '$2 == ">" { print $1; exit }' "$work/midi.log")
  last=$(awk '$2 == "<" { t = $1 } END { print t }' "$work/midi.log")
  awk -v f="$first" -v l="$last" -v s="$start" -v e="$end" -v r="$result" -v x="$status" 'BEGIN {
    cable = 300800 / 3125
    printf "wire-rate fetch: exit %d, %s\n", x, r
    printf "request to last dump: %.2f s = %.4f x the cable time (%.2f s)\n", (l - f) / 1000, (l - f) / 1000 / cable, cable
    printf "whole quorle-cli run: %.2f s\n", e - s
  }'
  exit 0
fi

exact=0 refused=0 wrong=0 partial=0
for run in $(seq "$runs"); do
  start=$SECONDS
  status=0
  fetch || status=$?
  said=$(grep -v "^MIDI:\|^MidiIn\|^System reports\|^ *$" "$work/err" | tail -1 || true)
  [[ -n $said ]] || said=$(tail -1 "$work/out")
  if ((status == 0)) && cmp -s "$work/bank.syx" "$work/expected.syx"; then
    exact=$((exact + 1)) verdict="byte-exact"
  elif ((status == 0)); then
    wrong=$((wrong + 1)) verdict="WRONG FILE"
    mkdir -p "$ALSA_VM_KEEP/fetch-$run" && cp "$work/bank.syx" "$work/midi.log" "$ALSA_VM_KEEP/fetch-$run/"
  elif [[ -e $work/bank.syx ]]; then
    partial=$((partial + 1)) verdict="FILE WRITTEN ON FAILURE"
  else
    refused=$((refused + 1)) verdict="no file, exit $status"
  fi
  printf 'fetch %2d: %-26s %4d s  %s\n' "$run" "$verdict" $((SECONDS - start)) "$said"
done
echo "$runs burst fetches beside two busy processes: $exact byte-exact, $refused no file with a" \
  "reason, $wrong wrong file, $partial file written on failure"
