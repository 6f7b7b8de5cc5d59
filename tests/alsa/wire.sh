# The simulated Andromeda on the raw side of a virtual card (where a USB MIDI interface would
# be), answering at the MIDI wire rate a few bytes at a time; and amidi, on the raw side of the
# second card, as a witness of what quorle-cli sends: every byte, in order, paced. While the
# witness takes its bank, the window fetches one from quorle-sim, offscreen.
source "$(dirname "$0")/common.sh"

raw() { "$tests/quorle-raw-andromeda" "$@"; }
raw --print-bank program 0 >"$work/programs.syx"
raw --print-bank mix 0 >"$work/mixes.syx"
raw --print-global >"$work/global.syx"
raw --sim-seed 9 --print-bank mix 0 >"$work/other-mixes.syx"
raw --sim-seed 9 --print-bank program 0 >"$work/other-programs.syx"

# The witness takes a Mix bank sent with a pause of 150 ms after each dump, beside the other cases
# (long enough that the bank without the pauses would arrive sooner than the check allows).
witness=$(port output "VirMIDI 1-0")
[[ -n $witness ]] || { fail "VirMIDI 1-0 is listed"; exit; }
amidi -p hw:1,0 -r "$work/witnessed.syx" -t 20 >"$work/amidi.log" 2>&1 &
amidi_pid=$!
helpers+=($amidi_pid)
until grep -q "Owner PID" /proc/asound/card1/midi0 2>/dev/null; do sleep 0.1; done
(
  start=$EPOCHREALTIME
  cli --out "$witness" --delay 150 send-mix-bank "$work/other-mixes.syx" --bank 0 --no-keep-copy
  echo "exit $?"
) >"$work/witness-send.log" 2>&1 &
sender_pid=$!
# When the first and the last byte reached the witness.
(
  until [[ -s $work/witnessed.syx ]]; do sleep 0.02; done
  echo "$EPOCHREALTIME" >"$work/first-byte"
  size=$(stat -c %s "$work/other-mixes.syx")
  until (($(stat -c %s "$work/witnessed.syx") >= size)); do sleep 0.05; done
  echo "$EPOCHREALTIME" >"$work/last-byte"
) &
helpers+=($!)

raw --device /dev/snd/midiC0D2 >"$work/raw.log" 2>&1 &
helpers+=($!)
device=$(port input "VirMIDI 0-2")
[[ -n $device ]] || { fail "VirMIDI 0-2 is listed"; exit; }
andromeda() { cli --in "$device" --out "$device" "$@"; }

check "check at the wire rate" identity

single() {
  andromeda get-mix --bank 0 --number 7 -o "$work/m7.syx" &&
    cmp "$work/m7.syx" <(dd if="$work/mixes.syx" bs=1180 skip=7 count=1 status=none)
}
check "get-mix at the wire rate, byte for byte" single

global_in() { andromeda get-global -o "$work/g.syx" && cmp "$work/g.syx" "$work/global.syx"; }
check "get-global at the wire rate: 18,183 bytes in 256-byte events, byte for byte" global_in

store() {
  dd if="$work/other-programs.syx" bs=2350 skip=11 count=1 status=none >"$work/p11.syx"
  andromeda send-program "$work/p11.syx" --bank 0 --number 4 &&
    andromeda get-program --bank 0 --number 4 -o "$work/p4.syx" &&
    cmp <(tail -c +9 "$work/p4.syx") <(tail -c +9 "$work/p11.syx")
}
check "send-program to the raw side, then fetched again" store

"$bin/quorle-sim" --sim-seed 5 --sim-rate 50000 >"$work/sim.log" 2>&1 &
helpers+=($!)
wait_for_client "quorle-sim" || fail "quorle-sim is on the sequencer"
check "the window fetches a Program bank from quorle-sim" "$tests/tests_alsa_window"

witnessed() {
  wait "$sender_pid"
  cat "$work/witness-send.log"
  grep -q "^exit 0" "$work/witness-send.log" || return 1
  # Everything sent is in the sequencer once the sender is done; the witness has it all when
  # its file is whole, and anything more would be there too.
  for _ in $(seq 600); do [[ -s $work/last-byte ]] && break; sleep 0.1; done
  kill "$amidi_pid"
  wait "$amidi_pid"
  cmp "$work/witnessed.syx" "$work/other-mixes.syx" || return 1
  # The 127 dumps after the first cannot arrive faster than the wire rate and the pause allow: a
  # dump counts as sent once its last byte has had its time on the wire, and the pause follows.
  local least span
  least=$(awk 'BEGIN { printf "%.3f", 127 * (1180 / 3125 + 0.150) }')
  span=$(awk -v a="$(cat "$work/first-byte")" -v b="$(cat "$work/last-byte")" 'BEGIN { printf "%.3f", b - a }')
  echo "the witness saw the bank over $span s; at least $least s" | tee "$work/span"
  awk -v s="$span" -v l="$least" 'BEGIN { exit !(s >= l) }'
}
check "amidi receives a Mix bank byte for byte, in order, paced" witnessed
cat "$work/span" 2>/dev/null
