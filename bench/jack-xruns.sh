#!/usr/bin/env bash
# Counts the JACK server's xruns that name Quorle's clients while quorle-cli fetches the User
# Program bank from quorle-sim (at the instant rate) RUNS times, with two busy-looping processes
# beside it so both cores are loaded. A client's process callback that locks, allocates or waits
# shows up here as xruns naming it.
#
#   bash bench/jack-xruns.sh [--runs N] [--no-realtime] [--build DIR]
#
# A private JACK server (dummy driver, 48 kHz, period 256) is started for the measurement and
# stopped by its PID, as are quorle-sim and the load; nothing else on the machine is touched.
# Realtime mode (-R) is used where allowed, as a musician's JACK runs; --no-realtime shows the
# scheduling noise of a server without it.
set -euo pipefail

runs=20
mode=-R
build="$(cd "$(dirname "$0")/.." && pwd)/build"
while (($#)); do
  case "$1" in
    --runs) runs="$2"; shift 2 ;;
    --no-realtime) mode=--no-realtime; shift ;;
    --build) build="$(cd "$2" && pwd)"; shift 2 ;;
    *) echo "usage: $0 [--runs N] [--no-realtime] [--build DIR]" >&2; exit 2 ;;
  esac
done
for program in quorle-cli quorle-sim; do
  [[ -x "$build/bin/$program" ]] || { echo "$build/bin/$program is missing: build it first" >&2; exit 2; }
done
command -v jackd >/dev/null || { echo "jackd is missing (package jackd2)" >&2; exit 2; }

work="$(mktemp -d /tmp/quorle-xruns.XXXXXX)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

export JACK_DEFAULT_SERVER="quorle-xruns-$$"
export QUORLE_MIDI_API=jack
log="$work/jackd.log"

start_jackd() {
  jackd -n "$JACK_DEFAULT_SERVER" "$1" -d dummy -r 48000 -p 256 >"$log" 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do
    grep -q "JACK server starting" "$log" 2>/dev/null && sleep 0.3 && kill -0 "$!" 2>/dev/null && return 0
    kill -0 "$!" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
if ! start_jackd "$mode"; then
  [[ "$mode" == -R ]] || { cat "$log" >&2; exit 1; }
  echo "realtime mode not allowed here; measuring without it" >&2
  mode=--no-realtime
  start_jackd "$mode" || { cat "$log" >&2; exit 1; }
fi

"$build/bin/quorle-sim" --sim-rate instant >"$work/sim.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do grep -q "is ready" "$work/sim.log" && break; sleep 0.1; done
grep -q "is ready" "$work/sim.log" || { cat "$work/sim.log" >&2; exit 1; }

# The command line keeps its settings beside the program file: a copy of its own keeps the
# build's settings as they are.
cp "$build/bin/quorle-cli" "$work/"
cli="$work/quorle-cli"
device="$("$cli" devices | awk '/quorle-sim/ {print $1; exit}')"
[[ -n "$device" ]] || { "$cli" devices >&2; exit 1; }

for _ in 1 2; do
  sh -c 'while :; do :; done' &
  pids+=($!)
done

before="$(grep -c "XRun" "$log" || true)"
failed=0
start=$(date +%s.%N)
for run in $(seq "$runs"); do
  if ! "$cli" --in "$device" --out "$device" get-program-bank --bank 0 \
      -o "$work/bank$run.syx" >"$work/run$run.log" 2>&1; then
    failed=$((failed + 1))
    echo "run $run: $(tail -n 1 "$work/run$run.log")" >&2
  fi
done
end=$(date +%s.%N)

xruns="$(tail -n +"$((before + 1))" <(grep "XRun" "$log") || true)"
count() { grep -cE "$1" <<<"$xruns" || true; }
echo "mode:                      $([[ $mode == -R ]] && echo realtime || echo no-realtime)"
echo "bank fetches:              $runs ($failed failed), $(echo "$end - $start" | bc) s"
echo "xruns reported by JACK:    $(count 'JackTimedDriver::Process XRun|JackEngine::XRun')"
echo "naming Quorle's clients:   $(count 'XRun: client =? ?Quorle-')"
echo "  its input clients:       $(count 'XRun: client =? ?Quorle-in-')"
echo "  its output clients:      $(count 'XRun: client =? ?Quorle-out-')"
echo "naming quorle-sim:         $(count 'XRun: client =? ?quorle-sim')"
