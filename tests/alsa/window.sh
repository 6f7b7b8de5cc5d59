# One transfer of the window, offscreen, over the sequencer: a Program bank from quorle-sim.
source "$(dirname "$0")/common.sh"

"$bin/quorle-sim" --sim-seed 5 --sim-rate 50000 >"$work/sim.log" 2>&1 &
helpers+=($!)
wait_for_client "quorle-sim" || { fail "quorle-sim is on the sequencer"; exit; }
sleep 0.5
check "the window fetches a Program bank from quorle-sim" "$tests/tests_alsa_window"
